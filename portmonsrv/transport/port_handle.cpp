// OpenPort, ClosePort and SetPortTimeOuts: the port handle is the PortEntry itself.
#include "../monitor/entry_points.h"
#include "../monitor/instance.h"
#include "../monitor/monitor_lock.h"
#include "../monitor/port_table.h"

// Looks the port up by name (letter case ignored, pending ports included) and hands out the
// entry as the port handle. TRUE with a NULL handle for a name the table doesn't hold; FALSE
// with ERROR_INVALID_PARAMETER and a NULL handle for no name.
BOOL WINAPI OpenPort(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle)
{
    auto* instance = static_cast<MonitorInstance*>(hMonitor);
    MonitorLockGuard lock;
    if (pName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        *pHandle = nullptr;
        return FALSE;
    }
    PortEntry* entry = FindPortEntry(instance->ports, pName);
    if (entry != nullptr)
        RetainPortEntry(entry);
    *pHandle = entry;
    return TRUE;
}

// Ends the spooler's hold on the entry. An entry deleted while it was held is released here;
// the document cycle itself is ended by EndDocPort. A NULL handle is accepted and ignored.
BOOL WINAPI ClosePort(HANDLE hPort)
{
    auto* entry = static_cast<PortEntry*>(hPort);
    if (entry != nullptr)
        ReleasePortEntry(entry);
    return TRUE;
}

// Time-outs cannot be set on these ports: always FALSE; ERROR_INVALID_PARAMETER when the
// reserved argument is nonzero, the last error untouched otherwise.
BOOL WINAPI SetPortTimeOuts(HANDLE /*hPort*/, LPCOMMTIMEOUTS /*lpCTO*/, DWORD reserved)
{
    if (reserved != 0)
        SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
