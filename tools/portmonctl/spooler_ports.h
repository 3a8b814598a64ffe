// The spooler's own list of ports (every monitor's), as EnumPortsW level 2 gives it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SpoolerPort {
    std::wstring name;
    std::wstring monitor;
    std::wstring description;
};

// Every port the local spooler lists, in its order. ERROR_SUCCESS, or the spooler's code (also
// when the list kept growing faster than it could be read).
DWORD ListSpoolerPorts(std::vector<SpoolerPort>& ports);
