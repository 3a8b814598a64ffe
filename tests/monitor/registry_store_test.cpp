// The registry store: start-up load, migration of the older binary records, and the writers
// used by the Xcv commands, checked call by call against the fake spooler registry.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor/monitor_lock.h"
#include "monitor/registry_store.h"
#include "monitor_fixture.h"

namespace {

using RegistryStoreTest = MonitorTest;

// A legacy "Data" record: port number at 20, text offset at 56, the text where it points.
std::vector<BYTE> LegacyRecord(DWORD portNumber, const std::wstring& address,
                               ULONGLONG offset = 64, size_t totalBytes = 0, bool terminated = true)
{
    const size_t textBytes = (address.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
    std::vector<BYTE> record(std::max<size_t>(totalBytes, offset + textBytes));
    std::memcpy(&record[20], &portNumber, 4);
    std::memcpy(&record[56], &offset, 8);
    if (offset + textBytes <= record.size())
        std::memcpy(&record[offset], address.c_str(), textBytes);
    return record;
}

void StoreLegacy(FakeRegistry& registry, const std::wstring& name, const std::vector<BYTE>& record)
{
    registry.SetValue(name, L"Data", REG_BINARY, record.data(), record.size());
}

struct ExpectedCall {
    const char* callback;
    const wchar_t* keyPath;
    const wchar_t* name;
    DWORD access;
};

void ExpectCalls(const std::vector<RegistryCall>& calls, const std::vector<ExpectedCall>& expected,
                 HANDLE spooler)
{
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "call " << i);
        EXPECT_EQ(calls[i].callback, expected[i].callback);
        EXPECT_EQ(calls[i].keyPath, expected[i].keyPath);
        EXPECT_EQ(calls[i].name, expected[i].name);
        EXPECT_EQ(calls[i].access, expected[i].access);
        EXPECT_EQ(calls[i].spooler, spooler);
    }
}

TEST_F(RegistryStoreTest, FirstStartCreatesPortsAndLoadsNothing)
{
    Start();
    EXPECT_TRUE(registry.HasKey(L"Ports"));
    EXPECT_EQ(Instance()->ports, nullptr);
    ExpectCalls(registry.calls,
                {{"CreateKey", L"", L"Ports", 0x20019},
                 {"EnumKey", L"", L"0", 0},  // "Ports" itself: passed over
                 {"EnumKey", L"", L"1", 0},
                 {"EnumKey", L"Ports", L"0", 0},
                 {"CloseKey", L"Ports", L"", 0}},
                registry.Spooler());
}

TEST_F(RegistryStoreTest, MigratesALegacyRecordCallByCall)
{
    StoreLegacy(registry, L"OLD", LegacyRecord(9100, L"127.0.0.9"));
    Start();

    ExpectCalls(registry.calls,
                {{"CreateKey", L"", L"Ports", 0x20019},
                 {"EnumKey", L"", L"0", 0},
                 {"CreateKey", L"", L"OLD", 0x20019},
                 {"QueryValue", L"OLD", L"Data", 0},
                 {"QueryValue", L"OLD", L"Data", 0},
                 {"CreateKey", L"Ports", L"OLD", 0x2001B},
                 {"SetValue", L"Ports\\OLD", L"IPAddress", 0},
                 {"SetValue", L"Ports\\OLD", L"PortNumber", 0},
                 {"CloseKey", L"Ports\\OLD", L"", 0},
                 {"CloseKey", L"OLD", L"", 0},
                 {"DeleteKey", L"", L"OLD", 0},
                 {"EnumKey", L"", L"0", 0},  // the next key moved into index 0: "Ports"
                 {"EnumKey", L"", L"1", 0},
                 {"EnumKey", L"Ports", L"0", 0},
                 {"CreateKey", L"Ports", L"OLD", 0x20019},
                 {"QueryValue", L"Ports\\OLD", L"IPAddress", 0},
                 {"QueryValue", L"Ports\\OLD", L"PortNumber", 0},
                 {"CloseKey", L"Ports\\OLD", L"", 0},
                 {"EnumKey", L"Ports", L"1", 0},
                 {"CloseKey", L"Ports", L"", 0}},
                registry.Spooler());

    const auto sizeQuery = registry.calls[3];
    EXPECT_FALSE(sizeQuery.withBuffer);
    EXPECT_EQ(registry.calls[4].type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(registry.calls[1].bytes, 246u) << "names are read with 246 units";
    const auto address = registry.calls[6];
    EXPECT_EQ(address.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(address.bytes, 260u);
    EXPECT_EQ(registry.calls[7].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(registry.calls[7].bytes, 4u);
    EXPECT_EQ(registry.calls[15].bytes, 494u) << "the address is read into the 247-unit field";

    EXPECT_FALSE(registry.HasKey(L"OLD"));
    EXPECT_EQ(registry.StringValue(L"Ports\\OLD", L"IPAddress"), L"127.0.0.9");
    EXPECT_EQ(registry.Value(L"Ports\\OLD", L"IPAddress")->data.size(), 260u);
    ASSERT_NE(Instance()->ports, nullptr);
    EXPECT_STREQ(Instance()->ports->name, L"OLD");
    EXPECT_STREQ(Instance()->ports->address, L"127.0.0.9");
    EXPECT_EQ(Instance()->ports->portNumber, 9100u);
    EXPECT_EQ(Instance()->ports->committed, 1u);
}

TEST_F(RegistryStoreTest, MigrationOutcomesPerLegacyKey)
{
    // Keys sort by name, so they are met in this order; "Ports" sits among them.
    StoreLegacy(registry, L"A_GOOD", LegacyRecord(1, L"127.0.0.1"));
    StoreLegacy(registry, L"B_GOOD", LegacyRecord(2, L"127.0.0.2", 100, 200));
    registry.CreateKey(L"C_NODATA");
    registry.SetValue(L"D_EMPTY", L"Data", REG_BINARY, nullptr, 0);
    StoreLegacy(registry, L"E_SHORT", std::vector<BYTE>(63));
    StoreLegacy(registry, L"F_OFFSET_OUT", LegacyRecord(6, L"127.0.0.6", 64, 0));
    {
        auto record = LegacyRecord(6, L"127.0.0.6");
        const ULONGLONG outside = record.size();
        std::memcpy(&record[56], &outside, 8);
        StoreLegacy(registry, L"F_OFFSET_OUT", record);
    }
    StoreLegacy(registry, L"G_UNTERMINATED", LegacyRecord(7, L"127.0.0.7", 64, 0, false));
    StorePort(L"H_EXISTS", L"127.0.0.99", 99);
    StoreLegacy(registry, L"H_EXISTS", LegacyRecord(8, L"127.0.0.8"));
    registry.CreateKey(L"Ports\\Z_STORED");  // a stored port with no values at all
    Start();

    // Migrated (or without a record): gone. Unreadable records: kept for an administrator.
    EXPECT_EQ(registry.SubKeys(L""),
              (std::vector<std::wstring>{L"E_SHORT", L"F_OFFSET_OUT", L"G_UNTERMINATED", L"Ports"}));
    EXPECT_EQ(registry.SubKeys(L"Ports"),
              (std::vector<std::wstring>{L"A_GOOD", L"B_GOOD", L"H_EXISTS", L"Z_STORED"}));
    EXPECT_EQ(registry.StringValue(L"Ports\\B_GOOD", L"IPAddress"), L"127.0.0.2");
    EXPECT_EQ(registry.StringValue(L"Ports\\H_EXISTS", L"IPAddress"), L"127.0.0.8");

    std::vector<std::wstring> loaded;
    for (const PortEntry* e = Instance()->ports; e != nullptr; e = e->next)
        loaded.push_back(std::wstring(e->name) + L"=" + e->address + L":" +
                         std::to_wstring(e->portNumber));
    EXPECT_EQ(loaded, (std::vector<std::wstring>{L"A_GOOD=127.0.0.1:1", L"B_GOOD=127.0.0.2:2",
                                                 L"H_EXISTS=127.0.0.8:8", L"Z_STORED=:0"}));
}

TEST_F(RegistryStoreTest, LongLegacyAddressIsNeverReadOrWrittenPastItsBuffers)
{
    StoreLegacy(registry, L"LONG", LegacyRecord(1, std::wstring(300, L'7')));
    Start();
    // The migration writes 260 bytes of its 247-unit buffer: the first 130 units.
    EXPECT_EQ(registry.StringValue(L"Ports\\LONG", L"IPAddress"), std::wstring(130, L'7'));
    // Too long for a port's address field: it loads empty, and stays listed to be fixed.
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"LONG"});
    EXPECT_STREQ(Instance()->ports->address, L"");
}

TEST_F(RegistryStoreTest, FailedMigrationKeepsTheLegacyKey)
{
    const struct {
        const char* callback;
        const wchar_t* name;
    } faults[] = {
        {"CreateKey", L"KEEP"},       // neither the legacy key nor the new key opens
        {"SetValue", L"IPAddress"},
        {"SetValue", L"PortNumber"},
        {"DeleteKey", L"KEEP"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.callback);
        FakeRegistry local;
        StoreLegacy(local, L"KEEP", LegacyRecord(5, L"127.0.0.5"));
        local.FailCallback(fault.callback, ERROR_ACCESS_DENIED, fault.name);
        MONITORINIT init = local.Init();
        HANDLE handle = nullptr;
        const MONITOR2* table = InitializePrintMonitor2(&init, &handle);
        ASSERT_NE(table, nullptr);
        EXPECT_TRUE(local.HasKey(L"KEEP"));
        table->pfnShutdown(handle);
        EXPECT_EQ(local.OpenKeys(), 0u);
    }
}

TEST_F(RegistryStoreTest, SecondReadOfTheRecordFailing)
{
    StoreLegacy(registry, L"KEEP", LegacyRecord(5, L"127.0.0.5"));
    registry.FailNthCall(5, ERROR_ACCESS_DENIED);  // the second "Data" query
    Start();
    EXPECT_TRUE(registry.HasKey(L"KEEP"));
    EXPECT_FALSE(registry.HasKey(L"Ports\\KEEP"));
}

TEST_F(RegistryStoreTest, NoMemoryForTheRecordKeepsTheLegacyKey)
{
    StoreLegacy(registry, L"KEEP", LegacyRecord(5, L"127.0.0.5"));
    FailNthAllocation(2);  // the instance comes first, then the record buffer
    Start();
    EXPECT_TRUE(registry.HasKey(L"KEEP"));
    EXPECT_EQ(Instance()->ports, nullptr);
}

TEST_F(RegistryStoreTest, LoadsStoredPortsInEnumerationOrder)
{
    StorePort(L"B", L"127.0.0.2", 515);
    StorePort(L"A", L"127.0.0.1", 9100);
    registry.SetString(L"Ports\\C_NO_NUMBER", L"IPAddress", L"127.0.0.3");
    registry.SetDword(L"Ports\\D_NO_ADDRESS", L"PortNumber", 4);
    registry.SetString(L"Ports\\E_TOO_LONG", L"IPAddress", std::wstring(19, L'1'));
    registry.SetString(L"Ports\\F_TOO_LONG", L"IPAddress", std::wstring(20, L'1'));
    registry.SetString(L"Ports\\G_OVERSIZED", L"IPAddress", std::wstring(300, L'1'));
    registry.CreateKey(L"Ports\\" + std::wstring(245, L'N'));
    registry.CreateKey(L"Ports\\" + std::wstring(246, L'X'));  // longer than a name read
    registry.CreateKey(L"Ports\\H_UNREADABLE");
    registry.FailCallback("CreateKey", ERROR_ACCESS_DENIED, L"H_UNREADABLE");
    Start();

    std::vector<std::wstring> loaded;
    for (const PortEntry* e = Instance()->ports; e != nullptr; e = e->next) {
        EXPECT_EQ(e->committed, 1u);
        loaded.push_back(std::wstring(e->name).substr(0, 12) + L"=" + e->address + L":" +
                         std::to_wstring(e->portNumber));
    }
    EXPECT_EQ(loaded, (std::vector<std::wstring>{
                          L"A=127.0.0.1:9100", L"B=127.0.0.2:515", L"C_NO_NUMBER=127.0.0.3:0",
                          L"D_NO_ADDRESS=:4", L"E_TOO_LONG=" + std::wstring(19, L'1') + L":0",
                          L"F_TOO_LONG=:0", L"G_OVERSIZED=:0", std::wstring(12, L'N') + L"=:0"}));
    EXPECT_TRUE(registry.HasKey(L"Ports\\H_UNREADABLE")) << "left for an administrator";
}

TEST_F(RegistryStoreTest, PortsThatCannotBeOpenedMeansAnEmptyTable)
{
    StorePort(L"A", L"127.0.0.1", 9100);
    StoreLegacy(registry, L"OLD", LegacyRecord(1, L"127.0.0.1"));
    registry.FailCallback("CreateKey", ERROR_ACCESS_DENIED, L"Ports");
    Start();
    EXPECT_EQ(Instance()->ports, nullptr);
    EXPECT_TRUE(registry.HasKey(L"OLD"));
    EXPECT_EQ(registry.calls.size(), 1u);
}

TEST_F(RegistryStoreTest, EnumerationThatAlwaysFailsEnds)
{
    StorePort(L"A", L"127.0.0.1", 9100);
    registry.FailCallback("EnumKey", ERROR_ACCESS_DENIED);
    Start();
    EXPECT_EQ(Instance()->ports, nullptr);
    EXPECT_LT(registry.CallsOf("EnumKey").size(), 1000u);
}

TEST_F(RegistryStoreTest, PersistWritesBothValuesInTheSpoolersOwnContext)
{
    Start();
    const PortConfig config = MakeConfig(L"NEW", L"127.0.0.1", 9100);
    PortEntry* entry = CreatePortEntry(Instance(), &config, 0);
    registry.calls.clear();

    EXPECT_EQ(PersistPort(entry), ERROR_SUCCESS);
    ExpectCalls(registry.calls,
                {{"CreateKey", L"", L"Ports", 2},
                 {"CreateKey", L"Ports", L"NEW", 2},
                 {"SetValue", L"Ports\\NEW", L"IPAddress", 0},
                 {"SetValue", L"Ports\\NEW", L"PortNumber", 0},
                 {"CloseKey", L"Ports\\NEW", L"", 0},
                 {"CloseKey", L"Ports", L"", 0}},
                registry.Spooler());
    EXPECT_EQ(registry.calls[2].bytes, 40u) << "the whole 20-unit address field";
    EXPECT_EQ(registry.Value(L"Ports\\NEW", L"IPAddress")->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(registry.StringValue(L"Ports\\NEW", L"IPAddress"), L"127.0.0.1");
    EXPECT_EQ(registry.Value(L"Ports\\NEW", L"PortNumber")->type, static_cast<DWORD>(REG_DWORD));

    const auto calls = spooler.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, "Revert");
    EXPECT_EQ(calls[1].op, "Impersonate");
    EXPECT_EQ(calls[1].handle, spooler.revertToken);
}

TEST_F(RegistryStoreTest, PersistReportsEveryFailureWithTheRegistrysCode)
{
    Start();
    const PortConfig config = MakeConfig(L"NEW", L"127.0.0.1", 9100);
    PortEntry* entry = CreatePortEntry(Instance(), &config, 0);
    const struct {
        const char* callback;
        const wchar_t* name;
        LONG code;
    } faults[] = {
        {"CreateKey", L"Ports", ERROR_ACCESS_DENIED},
        {"CreateKey", L"NEW", ERROR_NOT_ENOUGH_QUOTA},
        {"SetValue", L"IPAddress", ERROR_WRITE_FAULT},
        {"SetValue", L"PortNumber", ERROR_DISK_FULL},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.callback);
        registry.ClearFaults();
        registry.FailCallback(fault.callback, fault.code, fault.name);
        EXPECT_EQ(PersistPort(entry), fault.code);
        EXPECT_EQ(registry.OpenKeys(), 0u);
        const auto calls = spooler.Calls();
        EXPECT_EQ(calls.back().op, "Impersonate") << "the client's context comes back";
    }
}

TEST_F(RegistryStoreTest, PersistOfNoPortTouchesNothing)
{
    Start();
    registry.calls.clear();
    EXPECT_NE(PersistPort(nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_TRUE(spooler.Calls().empty());
}

TEST_F(RegistryStoreTest, WithoutATokenNoImpersonationFollows)
{
    Start();
    const PortConfig config = MakeConfig(L"NEW", L"127.0.0.1", 9100);
    PortEntry* entry = CreatePortEntry(Instance(), &config, 0);
    spooler.revertToken = nullptr;
    EXPECT_EQ(PersistPort(entry), ERROR_SUCCESS);
    UnpersistPort(Instance(), L"NEW");
    EXPECT_TRUE(spooler.CallsOf("Impersonate").empty());
    EXPECT_EQ(spooler.CallsOf("Revert").size(), 2u);
}

TEST_F(RegistryStoreTest, UnpersistDeletesOnlyThePortsKey)
{
    StorePort(L"A", L"127.0.0.1", 1);
    StorePort(L"B", L"127.0.0.2", 2);
    Start();
    registry.calls.clear();
    UnpersistPort(Instance(), L"a");
    ExpectCalls(registry.calls,
                {{"CreateKey", L"", L"Ports", 2},
                 {"DeleteKey", L"Ports", L"a", 0},
                 {"CloseKey", L"Ports", L"", 0}},
                registry.Spooler());
    EXPECT_EQ(registry.SubKeys(L"Ports"), std::vector<std::wstring>{L"B"});

    UnpersistPort(Instance(), L"MISSING");
    UnpersistPort(Instance(), L"B");
    UnpersistPort(Instance(), nullptr);
    EXPECT_TRUE(registry.HasKey(L"Ports")) << "Ports stays when it becomes empty";
    EXPECT_TRUE(registry.SubKeys(L"Ports").empty());
}

TEST_F(RegistryStoreTest, StoredPortSurvivesARestart)
{
    Start();
    const PortConfig config = MakeConfig(L"KEPT", L"127.000.000.001", 0x10000 + 9100);
    EXPECT_EQ(PersistPort(CreatePortEntry(Instance(), &config, 0)), ERROR_SUCCESS);
    Start();
    ASSERT_NE(Instance()->ports, nullptr);
    EXPECT_STREQ(Instance()->ports->name, L"KEPT");
    EXPECT_STREQ(Instance()->ports->address, L"127.000.000.001");
    EXPECT_EQ(Instance()->ports->portNumber, 0x10000u + 9100);
}

}  // namespace
