// A monitor instance with Xcv handles: opens handles the way the spooler does, sends commands
// through the MONITOR2 table, and reads the port table and the stored ports back for checks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "monitor_fixture.h"

// One entry of the port table, as a test compares it.
struct EntryState {
    std::wstring name;
    std::wstring address;
    DWORD portNumber = 0;
    DWORD committed = 0;
    bool operator==(const EntryState&) const = default;
};
void PrintTo(const EntryState& entry, std::ostream* out);

// One port below Ports\ in the registry.
struct StoredPort {
    std::wstring name;
    std::wstring address;
    DWORD portNumber = 0;
    bool operator==(const StoredPort&) const = default;
};
void PrintTo(const StoredPort& port, std::ostream* out);

// A port name as a client sends it: its units and, unless told otherwise, the terminator.
std::vector<BYTE> NameBytes(const std::wstring& name, bool terminated = true);

class XcvTest : public MonitorTest {
protected:
    void TearDown() override;

    // Closes every handle still open and starts a new instance over the same registry.
    void Restart();

    HANDLE OpenXcv(ACCESS_MASK access = SERVER_ACCESS_ADMINISTER, LPCWSTR object = L"");
    void CloseXcv(HANDLE xcv);

    DWORD Call(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputBytes,
               void* output = nullptr, DWORD outputBytes = 0, DWORD* needed = nullptr);
    // Through an administrator's handle, opened on first use.
    DWORD PortData(const PortConfig& config);
    DWORD NameCommand(LPCWSTR command, const std::wstring& name);
    // "PortData" for a new port, then "AddPort": the two steps of creating a port.
    DWORD CreatePort(const std::wstring& name, const std::wstring& address, DWORD portNumber);

    // The port table in order, and the ports the registry holds.
    std::vector<EntryState> Entries();
    std::vector<StoredPort> StoredPorts();

private:
    std::vector<HANDLE> open_;
    HANDLE admin_ = nullptr;
};
