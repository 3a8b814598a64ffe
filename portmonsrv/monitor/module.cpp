#include "module.h"

#include "monitor_lock.h"

HMODULE ModuleHandle = nullptr;
CRITICAL_SECTION MonitorLock;
BOOL MonitorLockReady = FALSE;

BOOL ModuleAttach(HMODULE module) noexcept
{
    ModuleHandle = module;
    // Spin count 0; the high bit has the wait event allocated now rather than under load.
    MonitorLockReady = InitializeCriticalSectionAndSpinCount(&MonitorLock, 0x80000000);
    return MonitorLockReady;
}

void ModuleDetach() noexcept
{
    if (MonitorLockReady) {
        DeleteCriticalSection(&MonitorLock);
        MonitorLockReady = FALSE;
    }
}
