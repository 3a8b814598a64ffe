// A monitor instance over a fake registry and fake spooler operations. A test arranges the
// registry, calls Start(), and at its end the instance is shut down and the test fails if any
// block or registry key of it remains.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_registry.h"
#include "fake_spooler.h"
#include "monitor/alloc.h"
#include "monitor/instance.h"
#include "monitor/port_table.h"

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a new instance over the same registry (the previous one, if any, shut down).
    void Start();
    void Stop();

    MonitorInstance* Instance() const { return static_cast<MonitorInstance*>(handle_); }
    HANDLE Handle() const { return handle_; }
    const MONITOR2* Table() const { return table_; }

    // Stores a port below Ports\ the way the store writes it.
    void StorePort(const std::wstring& name, const std::wstring& address, DWORD portNumber);
    // The committed ports, listed through EnumPorts at level 1.
    std::vector<std::wstring> ListedPorts();

    FakeRegistry registry;
    FakeSpoolerHost spooler;

private:
    MONITORINIT init_ = {};
    HANDLE handle_ = nullptr;
    const MONITOR2* table_ = nullptr;
    LONG blocksBefore_ = 0;
};

// A PortConfig with the given fields.
PortConfig MakeConfig(const std::wstring& name, const std::wstring& address, DWORD portNumber,
                      DWORD newPort = 0);
