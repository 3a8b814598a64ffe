// MonitorInstance: the monitor handle that InitializePrintMonitor2 gives the spooler.
#pragma once

#include "../win32.h"
#include "registry_access.h"

struct PortEntry;
struct XcvEntry;

inline constexpr DWORD kMonitorInstanceSignature = 0x004D4C49;

struct MonitorInstance {
    DWORD signature;           // kMonitorInstanceSignature; written, never compared
    PMONITORINIT monitorInit;  // as the host passed it; never read after initialisation
    PortEntry* ports;          // port list in creation order (guarded by MonitorLock)
    XcvEntry* xcvs;            // open Xcv handles in opening order (guarded by MonitorLock)
    PortEntry* lastPort;       // tail of `ports`, so an append needs no walk
    PortEntry* removedPorts;   // removed from `ports` while a port handle still holds them
    RegistryAccess registry;   // this instance's own way to its registry root
    BOOL socketsStarted;       // WSAStartup succeeded; WSACleanup at Shutdown
};

// The entry-point table that every InitializePrintMonitor2 call returns.
const MONITOR2* MonitorEntryPoints() noexcept;

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit,
                                                     PHANDLE phMonitor);
VOID WINAPI Shutdown(HANDLE hMonitor);
