// Placeholder Xcv channel: replaced by the Xcv handles and the command table.
#include "../monitor/entry_points.h"

BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE phXcv)
{
    *phXcv = nullptr;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

DWORD WINAPI XcvDataPort(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD)
{
    return ERROR_NOT_SUPPORTED;
}

BOOL WINAPI XcvClosePort(HANDLE)
{
    return TRUE;
}
