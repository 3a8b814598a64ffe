// InitializePrintMonitor2, Shutdown and the MONITOR2 table.
#include "instance.h"

#include <cstddef>

#include "alloc.h"
#include "entry_points.h"
#include "monitor_lock.h"
#include "port_table.h"
#include "registry_store.h"

namespace {

// The MONITOR2 layout that ends with pfnSendRecvBidiDataFromPort.
constexpr DWORD kMonitor2Bytes = 160;
static_assert(offsetof(MONITOR2, pfnSendRecvBidiDataFromPort) + sizeof(void*) == kMonitor2Bytes);

const MONITOR2 kEntryPoints = [] {
    MONITOR2 table = {};
    table.cbSize = kMonitor2Bytes;
    table.pfnEnumPorts = EnumPorts;
    table.pfnOpenPort = OpenPort;
    table.pfnOpenPortEx = nullptr;             // not a language monitor
    table.pfnStartDocPort = StartDocPort;
    table.pfnWritePort = WritePort;
    table.pfnReadPort = ReadPort;
    table.pfnEndDocPort = EndDocPort;
    table.pfnClosePort = ClosePort;
    table.pfnAddPort = nullptr;                // ports are added through Xcv ("AddPort")
    table.pfnAddPortEx = nullptr;              // likewise
    table.pfnConfigurePort = nullptr;          // configured through Xcv ("PortData")
    table.pfnDeletePort = nullptr;             // deleted through Xcv ("DeletePort")
    table.pfnGetPrinterDataFromPort = nullptr; // no device queries
    table.pfnSetPortTimeOuts = SetPortTimeOuts;
    table.pfnXcvOpenPort = XcvOpenPort;
    table.pfnXcvDataPort = XcvDataPort;
    table.pfnXcvClosePort = XcvClosePort;
    table.pfnShutdown = Shutdown;
    table.pfnSendRecvBidiDataFromPort = nullptr; // no bidirectional queries
    return table;
}();

}  // namespace

const MONITOR2* MonitorEntryPoints() noexcept
{
    return &kEntryPoints;
}

// Called by the spooler once per monitor instance it starts. Returns the entry-point table and
// the new instance through phMonitor, or NULL (phMonitor untouched) when no memory could be had.
// Registry failures during the load only leave fewer ports.
extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit,
                                                     PHANDLE phMonitor)
{
    auto* instance = static_cast<MonitorInstance*>(ZeroedAlloc(sizeof(MonitorInstance)));
    if (instance == nullptr)
        return nullptr;
    instance->signature = kMonitorInstanceSignature;
    instance->monitorInit = pMonitorInit;
    // Copies, not the pointer: a host may pass MONITORINIT as a local of its loader.
    InitRegistryAccess(instance->registry, *pMonitorInit);

    // A host process that never started Windows Sockets (Wine's printing client) would make
    // every socket call fail with WSANOTINITIALISED; an extra reference elsewhere is harmless.
    WSADATA wsaData;
    instance->socketsStarted = WSAStartup(MAKEWORD(2, 2), &wsaData) == 0;

    {
        MonitorLockGuard lock;
        LoadStoredPorts(instance);
    }

    *phMonitor = instance;
    return const_cast<LPMONITOR2>(&kEntryPoints);
}

// Frees the port table and the instance. The spooler calls it when no other entry point of the
// instance runs. Open Xcv handles are the caller's to close first.
VOID WINAPI Shutdown(HANDLE hMonitor)
{
    auto* instance = static_cast<MonitorInstance*>(hMonitor);
    FreePortTable(instance);
    CloseRegistryAccess(instance->registry);
    if (instance->socketsStarted)
        WSACleanup();
    FreeBlock(instance);
}
