// A host whose registry callbacks are not implemented (they all answer 120) but whose root is a
// real key: the instance keeps its ports through a handle of its own, with the same layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_registry.h"
#include "fake_spooler.h"
#include "monitor/alloc.h"
#include "monitor/instance.h"
#include "monitor/port_table.h"
#include "monitor/registry_store.h"

namespace {

class RegistryFallbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = L"Software\\VexaPortMonitorTest\\Fallback" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
        for (const char* callback :
             {"CreateKey", "CloseKey", "DeleteKey", "EnumKey", "SetValue", "QueryValue"})
            callbacks_.FailCallback(callback, ERROR_CALL_NOT_IMPLEMENTED);
        blocks_ = OutstandingBlocks();
    }
    void TearDown() override
    {
        Stop();
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        EXPECT_EQ(OutstandingBlocks(), blocks_);
    }

    // Starts an instance the way such a host does: the root handle it passes is closed as soon
    // as InitializePrintMonitor2 returns.
    void Start()
    {
        Stop();
        HKEY hostRoot = nullptr;
        ASSERT_EQ(RegOpenKeyExW(root_, L"", 0, KEY_ALL_ACCESS, &hostRoot), ERROR_SUCCESS);
        MONITORINIT init = callbacks_.Init();
        init.hckRegistryRoot = hostRoot;
        table_ = InitializePrintMonitor2(&init, &handle_);
        RegCloseKey(hostRoot);
        ASSERT_NE(table_, nullptr);
    }
    void Stop()
    {
        if (handle_ != nullptr)
            table_->pfnShutdown(handle_);
        handle_ = nullptr;
    }
    MonitorInstance* Instance() { return static_cast<MonitorInstance*>(handle_); }

    std::wstring Path(const std::wstring& sub) { return path_ + L"\\" + sub; }
    bool KeyExists(const std::wstring& sub)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    FakeRegistry callbacks_;
    FakeSpoolerHost spooler_;
    HKEY root_ = nullptr;
    std::wstring path_;
    HANDLE handle_ = nullptr;
    const MONITOR2* table_ = nullptr;
    LONG blocks_ = 0;
};

TEST_F(RegistryFallbackTest, PortsAreStoredLoadedAndRemovedThroughTheOwnHandle)
{
    Start();
    PortConfig config = {};
    std::memcpy(config.portName, L"LPT_NET", 16);
    std::memcpy(config.address, L"127.0.0.1", 20);
    config.portNumber = 9100;
    PortEntry* entry = CreatePortEntry(Instance(), &config, 0);
    ASSERT_EQ(PersistPort(entry), ERROR_SUCCESS);

    wchar_t address[64] = {};
    DWORD bytes = sizeof(address);
    DWORD type = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Path(L"Ports\\LPT_NET").c_str(), L"IPAddress",
                           RRF_RT_ANY, &type, address, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, 40u);
    EXPECT_STREQ(address, L"127.0.0.1");

    Start();
    ASSERT_NE(Instance()->ports, nullptr);
    EXPECT_STREQ(Instance()->ports->name, L"LPT_NET");
    EXPECT_STREQ(Instance()->ports->address, L"127.0.0.1");
    EXPECT_EQ(Instance()->ports->portNumber, 9100u);
    EXPECT_EQ(Instance()->ports->committed, 1u);

    UnpersistPort(Instance(), L"LPT_NET");
    EXPECT_FALSE(KeyExists(L"Ports\\LPT_NET"));
    EXPECT_TRUE(KeyExists(L"Ports"));
}

TEST_F(RegistryFallbackTest, LegacyRecordsAreMigratedThroughTheOwnHandle)
{
    BYTE record[96] = {};
    const DWORD portNumber = 515;
    const ULONGLONG offset = 64;
    std::memcpy(record + 20, &portNumber, 4);
    std::memcpy(record + 56, &offset, 8);
    std::memcpy(record + 64, L"127.0.0.5", 20);
    HKEY legacy = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root_, L"OLDPORT", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &legacy,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(legacy, L"Data", 0, REG_BINARY, record, sizeof(record));
    RegCloseKey(legacy);

    Start();
    EXPECT_FALSE(KeyExists(L"OLDPORT"));
    ASSERT_NE(Instance()->ports, nullptr);
    EXPECT_STREQ(Instance()->ports->name, L"OLDPORT");
    EXPECT_STREQ(Instance()->ports->address, L"127.0.0.5");
    EXPECT_EQ(Instance()->ports->portNumber, 515u);
}

TEST_F(RegistryFallbackTest, HostThatImplementsTheCallbacksIsNeverBypassed)
{
    FakeRegistry implemented;
    MONITORINIT init = implemented.Init();
    HANDLE handle = nullptr;
    const MONITOR2* table = InitializePrintMonitor2(&init, &handle);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(static_cast<MonitorInstance*>(handle)->registry.ownRoot, nullptr);
    EXPECT_TRUE(implemented.HasKey(L"Ports"));
    table->pfnShutdown(handle);
}

}  // namespace
