// Placeholder document cycle: replaced by the TCP job connection.
#include "../monitor/entry_points.h"

BOOL WINAPI StartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI WritePort(HANDLE, LPBYTE, DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI EndDocPort(HANDLE)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
