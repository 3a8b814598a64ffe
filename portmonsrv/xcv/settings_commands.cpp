// Placeholder handlers: each answers ERROR_NOT_SUPPORTED until it is built.
#include "commands.h"

DWORD MonitorUiCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD ConfigureLptPortCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD GetTransmissionRetryTimeoutCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD SetDefaultCommConfigCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

