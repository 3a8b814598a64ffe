// XcvOpenPort, XcvDataPort and XcvClosePort: the Xcv handle is the XcvEntry itself.
#include <cstring>
#include <cwchar>

#include "../monitor/alloc.h"
#include "../monitor/entry_points.h"
#include "../monitor/instance.h"
#include "../monitor/monitor_lock.h"
#include "command_table.h"
#include "xcv_entry.h"

// The spooler opens a handle for every configuration session of a client. Any object name (NULL
// is taken as the empty name) and any access mask are accepted: access is decided command by
// command. TRUE with the new handle; FALSE with a NULL handle and the allocator's error when no
// memory could be had.
BOOL WINAPI XcvOpenPort(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess,
                        PHANDLE phXcv)
{
    auto* instance = static_cast<MonitorInstance*>(hMonitor);
    const wchar_t* objectName = pszObject != nullptr ? pszObject : L"";
    // The spooler's own terminated copy of the name the client opened (no client buffer).
    const size_t nameUnits = std::wcslen(objectName) + 1;
    if (nameUnits > (MAXDWORD - sizeof(XcvEntry)) / sizeof(wchar_t)) {
        *phXcv = nullptr;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const DWORD size = static_cast<DWORD>(sizeof(XcvEntry) + nameUnits * sizeof(wchar_t));
    auto* xcv = static_cast<XcvEntry*>(ZeroedAlloc(size));
    if (xcv == nullptr) {
        *phXcv = nullptr;
        return FALSE;
    }
    xcv->objectName = reinterpret_cast<wchar_t*>(xcv + 1);
    std::memcpy(xcv->objectName, objectName, nameUnits * sizeof(wchar_t));
    xcv->signature = kXcvEntrySignature;
    xcv->size = size;
    xcv->grantedAccess = GrantedAccess;
    xcv->owner = instance;

    {
        MonitorLockGuard lock;
        XcvEntry** link = &instance->xcvs;
        while (*link != nullptr)
            link = &(*link)->next;
        *link = xcv;
    }
    *phXcv = xcv;
    return TRUE;
}

// Runs one named command on an open handle. The name must equal a command's name exactly
// (letter case included); an unknown or NULL name gets ERROR_INVALID_PARAMETER and runs
// nothing. Otherwise the command's own result is returned: buffers, the needed size and access
// are each command's business.
DWORD WINAPI XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                         PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded)
{
    const XcvCommand* command = FindXcvCommand(pszDataName);
    if (command == nullptr)
        return ERROR_INVALID_PARAMETER;
    // A buffer that is not there holds no bytes, whatever size came with it: no handler then
    // reads or writes through a NULL pointer.
    if (pInputData == nullptr)
        cbInputData = 0;
    if (pOutputData == nullptr)
        cbOutputData = 0;
    return command->handler(pInputData, cbInputData, pOutputData, cbOutputData, pcbOutputNeeded,
                            static_cast<XcvEntry*>(hXcv));
}

// Ends a configuration session: the handle is taken out of its instance's list and released.
// Must not be called after Shutdown of the instance. Always TRUE.
BOOL WINAPI XcvClosePort(HANDLE hXcv)
{
    auto* xcv = static_cast<XcvEntry*>(hXcv);
    if (xcv == nullptr)
        return TRUE;
    MonitorLockGuard lock;
    for (XcvEntry** link = &xcv->owner->xcvs; *link != nullptr; link = &(*link)->next) {
        if (*link == xcv) {
            *link = xcv->next;
            FreeBlock(xcv);
            break;
        }
    }
    return TRUE;
}
