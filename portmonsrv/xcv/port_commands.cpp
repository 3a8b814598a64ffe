// Placeholder handlers: each answers ERROR_NOT_SUPPORTED until it is built.
#include "commands.h"

DWORD PortDataCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD AddPortCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD DeletePortCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD GetDefaultPortConfigCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

