// MonitorLock: the monitor's single, recursive, process-wide lock. It guards the membership and
// links of every instance's port list and Xcv list.
#pragma once

#include "../win32.h"

extern CRITICAL_SECTION MonitorLock;
extern BOOL MonitorLockReady;

// Holds MonitorLock for its own lifetime; re-entry by the holding thread is allowed.
class MonitorLockGuard {
public:
    MonitorLockGuard() noexcept { EnterCriticalSection(&MonitorLock); }
    ~MonitorLockGuard() { LeaveCriticalSection(&MonitorLock); }
    MonitorLockGuard(const MonitorLockGuard&) = delete;
    MonitorLockGuard& operator=(const MonitorLockGuard&) = delete;
};
