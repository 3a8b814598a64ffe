// Benchmark, not a test: start-up cost for many stored ports, against the cost of the registry
// reads alone. Appending keeps a tail pointer, so the load should grow linearly with the ports.
//   wine64 build/bin/bench_startup_load.exe [ports...]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_registry.h"
#include "monitor/instance.h"
#include "monitor/module.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Fill(FakeRegistry& registry, int ports)
{
    wchar_t address[20] = L"127.0.0.1";
    for (int i = 0; i < ports; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"Ports\\P%06d", i);
        registry.SetValue(name, L"IPAddress", REG_SZ, address, sizeof(address));
        registry.SetDword(name, L"PortNumber", 9100);
    }
}

// The same registry reads as a start-up, without building the table.
double ReadsOnly(FakeRegistry& registry)
{
    const MONITORREG* reg = registry.Callbacks();
    const HANDLE spooler = registry.Spooler();
    const auto start = std::chrono::steady_clock::now();
    HANDLE ports = nullptr;
    reg->fpCreateKey(FakeRegistry::RootHandle(), L"Ports", 0, KEY_READ, nullptr, &ports, nullptr,
                     spooler);
    for (DWORD index = 0;; ++index) {
        wchar_t name[247];
        DWORD units = 246;
        FILETIME written;
        if (reg->fpEnumKey(ports, index, name, &units, &written, spooler) != ERROR_SUCCESS)
            break;
        HANDLE key = nullptr;
        reg->fpCreateKey(ports, name, 0, KEY_READ, nullptr, &key, nullptr, spooler);
        wchar_t address[247];
        DWORD bytes = sizeof(address), type = REG_SZ, number = 0;
        reg->fpQueryValue(key, L"IPAddress", &type, reinterpret_cast<BYTE*>(address), &bytes,
                          spooler);
        bytes = 4;
        reg->fpQueryValue(key, L"PortNumber", &type, reinterpret_cast<BYTE*>(&number), &bytes,
                          spooler);
        reg->fpCloseKey(key, spooler);
    }
    reg->fpCloseKey(ports, spooler);
    return Milliseconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv)
{
    ModuleAttach(GetModuleHandleW(nullptr));
    std::vector<int> counts = {1000, 10000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.push_back(std::atoi(argv[i]));
    }
    std::printf("%8s %14s %14s\n", "ports", "start-up ms", "reads-only ms");
    for (int count : counts) {
        FakeRegistry registry;
        Fill(registry, count);
        const double reads = ReadsOnly(registry);
        registry.calls.clear();

        MONITORINIT init = registry.Init();
        HANDLE monitor = nullptr;
        const auto start = std::chrono::steady_clock::now();
        const MONITOR2* table = InitializePrintMonitor2(&init, &monitor);
        const double startup = Milliseconds(std::chrono::steady_clock::now() - start);
        table->pfnShutdown(monitor);
        std::printf("%8d %14.1f %14.1f\n", count, startup, reads);
    }
    ModuleDetach();
    return 0;
}
