// The Xcv channel to the monitor, as the user-interface library would use it: one handle opened
// on ",XcvMonitor VEXA Port Monitor" and named commands with binary records.
#pragma once

#include <windows.h>

#include <string>

#include "monitor/port_table.h"  // PortConfig, the 996-byte record of the port commands
#include "printer_handle.h"

class XcvSession {
public:
    // Opens the channel with the access the commands need: SERVER_ACCESS_ADMINISTER for those
    // that change ports or settings. FALSE with the last error set when the spooler refuses.
    BOOL Open(ACCESS_MASK access) noexcept;

    // Runs one command. Returns the command's own status (0 for success); when the spooler
    // cannot deliver the command at all, the spooler's error code (ERROR_GEN_FAILURE when it
    // gives none). `needed` may be NULL.
    DWORD Call(const wchar_t* command, const void* input, DWORD inputBytes, void* output,
               DWORD outputBytes, DWORD* needed) noexcept;

    // Commands with a port name as input: the name and its terminator, nothing more.
    DWORD CallWithName(const wchar_t* command, const std::wstring& name) noexcept;

private:
    PrinterHandle handle_;
};

// XcvSession::Open, with the failure reported on stderr. FALSE when the channel cannot be had.
bool OpenSession(XcvSession& session, ACCESS_MASK access);

// The input size of a text command: the text's UTF-16 units and the terminator, in bytes.
inline DWORD TextBytes(const std::wstring& text) noexcept
{
    return DWORD((text.size() + 1) * sizeof(wchar_t));
}

// A PortConfig for `name`, `address` and `portNumber`, every unused unit zero.
PortConfig MakePortConfig(const std::wstring& name, const std::wstring& address,
                          DWORD portNumber, BOOL newPort) noexcept;

// Reads a port's current configuration ("GetDefaultPortConfig").
DWORD QueryPortConfig(XcvSession& session, const std::wstring& name, PortConfig& config) noexcept;
