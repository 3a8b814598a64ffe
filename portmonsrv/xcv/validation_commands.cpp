// Placeholder handlers: each answers ERROR_NOT_SUPPORTED until it is built.
#include "commands.h"

DWORD PortExistsCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD PortIsValidCommand(const BYTE*, DWORD, BYTE*, DWORD, DWORD*, XcvEntry*)
{
    return ERROR_NOT_SUPPORTED;
}

