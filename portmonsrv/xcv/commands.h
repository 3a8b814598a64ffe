// The Xcv command handlers. Each gets the call's buffers and its XcvEntry and returns a Win32
// error code (0 for success). No handler reads outside [input, input + inputBytes) or writes
// outside [output, output + outputBytes).
#pragma once

#include "../win32.h"

struct XcvEntry;

using XcvHandler = DWORD(const BYTE* input, DWORD inputBytes, BYTE* output, DWORD outputBytes,
                         DWORD* needed, XcvEntry* xcv);

// port_commands.cpp
XcvHandler PortDataCommand;
XcvHandler AddPortCommand;  // also "ModifyPort"
XcvHandler DeletePortCommand;
XcvHandler GetDefaultPortConfigCommand;

// settings_commands.cpp
XcvHandler MonitorUiCommand;
XcvHandler ConfigureLptPortCommand;
XcvHandler GetTransmissionRetryTimeoutCommand;
XcvHandler SetDefaultCommConfigCommand;

// validation_commands.cpp
XcvHandler PortExistsCommand;
XcvHandler PortIsValidCommand;
