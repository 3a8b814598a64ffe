// Creating, changing, storing, reading back and deleting ports through the Xcv channel.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "guard_page.h"
#include "loopback_sink.h"
#include "xcv_fixture.h"

namespace {

const std::vector<EntryState> kOnlyP1 = {{L"P1", L"127.0.0.10", 9100, 1}};
const std::vector<StoredPort> kStoredP1 = {{L"P1", L"127.0.0.10", 9100}};

class PortCommandTest : public XcvTest {
protected:
    // "GetDefaultPortConfig" for `name` into `out`.
    DWORD ReadConfig(HANDLE xcv, const std::wstring& name, PortConfig* out)
    {
        const std::vector<BYTE> input = NameBytes(name);
        DWORD needed = 0xdeadbeef;
        return Call(xcv, L"GetDefaultPortConfig", input.data(), static_cast<DWORD>(input.size()),
                    out, sizeof(*out), &needed);
    }
};

TEST_F(PortCommandTest, PortDataTakesOnlyTextsThatEndInsideTheirFieldsAndFitAPort)
{
    const std::wstring fits19 = L"127.000.000.010.000";     // 19 units: the most a port holds
    const std::wstring over20 = L"127.000.000.010.0000";    // 20 units: no room for the end
    const std::wstring long246 = std::wstring(246, L'7');   // ends inside the field, not a port
    const std::wstring name246 = std::wstring(246, L'N');
    struct Row {
        const char* what;
        DWORD newPort;
        std::wstring name;
        std::wstring address;  // 247 units: no terminator inside the field
        DWORD code;
        std::vector<EntryState> after;
    };
    const std::wstring unterminated(247, L'1');
    const Row rows[] = {
        {"new, address of 19 units", 1, L"P3", fits19, 0,
         {kOnlyP1[0], {L"P3", fits19, 9102, 0}}},
        {"new, address of 20 units", 1, L"P3", over20, 87, kOnlyP1},
        {"new, address of 246 units", 1, L"P3", long246, 87, kOnlyP1},
        {"new, address without end", 1, L"P3", unterminated, 87, kOnlyP1},
        {"new, name without end", 1, std::wstring(247, L'N'), L"127.0.0.30", 87, kOnlyP1},
        {"new, name of 246 units", 1, name246, L"127.0.0.30", 0,
         {kOnlyP1[0], {name246, L"127.0.0.30", 9102, 0}}},
        {"new, empty name", 1, L"", L"127.0.0.30", 87, kOnlyP1},
        {"new, name with a backslash", 1, L"Ports\\P3", L"127.0.0.30", 123, kOnlyP1},
        {"new, name of an existing port", 1, L"p1", L"127.0.0.30", 0,
         {kOnlyP1[0], {L"p1", L"127.0.0.30", 9102, 0}}},
        {"change, address of 20 units", 0, L"P1", over20, 87, kOnlyP1},
        {"change, address without end", 0, L"P1", unterminated, 87, kOnlyP1},
        {"change, name without end", 0, std::wstring(247, L'P'), L"127.0.0.11", 87, kOnlyP1},
        {"change, other letter case", 0, L"p1", L"127.0.0.11", 0,
         {{L"P1", L"127.0.0.11", 9102, 0}}},
        {"change, no port of that name", 0, L"NOPE", L"127.0.0.11", 2, kOnlyP1},
    };
    StorePort(L"P1", L"127.0.0.10", 9100);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Restart();
        PortConfig config = MakeConfig(row.name, row.address, 9102, row.newPort);
        GuardPage page;
        const BYTE* input = page.Place(&config, sizeof(config));
        EXPECT_EQ(Call(OpenXcv(), L"PortData", input, sizeof(config)), row.code);
        EXPECT_EQ(Entries(), row.after);
        EXPECT_EQ(StoredPorts(), kStoredP1);
    }
}

TEST_F(PortCommandTest, ChangedPortIsPendingAndUnlistedUntilModifyPortYetOpenPortFindsIt)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    HANDLE before = nullptr;
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"P1"), &before));
    ASSERT_NE(before, nullptr);

    ASSERT_EQ(PortData(MakeConfig(L"P1", L"127.0.0.11", 9200, 0)), 0u);
    EXPECT_TRUE(ListedPorts().empty());
    EXPECT_EQ(StoredPorts(), kStoredP1);
    HANDLE during = nullptr;
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"p1"), &during));
    EXPECT_EQ(during, before);  // the next document goes to the new address
    const auto* entry = static_cast<const PortEntry*>(during);
    EXPECT_STREQ(entry->address, L"127.0.0.11");
    EXPECT_EQ(entry->portNumber, 9200u);
    EXPECT_EQ(entry->spare, 0u);
    EXPECT_EQ(entry->socket, INVALID_SOCKET);
    PortConfig read = {};
    EXPECT_EQ(ReadConfig(OpenXcv(0), L"P1", &read), 0u);
    EXPECT_STREQ(read.address, L"127.0.0.11");
    EXPECT_EQ(read.portNumber, 9200u);

    EXPECT_EQ(NameCommand(L"ModifyPort", L"P1"), 0u);
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"P1"});
    EXPECT_EQ(StoredPorts(), (std::vector<StoredPort>{{L"P1", L"127.0.0.11", 9200}}));
    Table()->pfnClosePort(before);
    Table()->pfnClosePort(during);
}

TEST_F(PortCommandTest, CreatedPortIsListedStoredOpenableAndSurvivesARestart)
{
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"LAB", L"127.0.0.10", 9100, 1)), 0u);
    EXPECT_TRUE(ListedPorts().empty());
    EXPECT_FALSE(registry.HasKey(L"Ports\\LAB"));

    registry.calls.clear();
    const size_t spoolerCallsBefore = spooler.Calls().size();
    ASSERT_EQ(NameCommand(L"AddPort", L"LAB"), 0u);
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"LAB"});

    // Both keys opened for setting values only; the address as the whole 40-byte field.
    std::vector<std::pair<std::wstring, DWORD>> opened;
    for (const RegistryCall& call : registry.CallsOf("CreateKey"))
        opened.emplace_back(call.keyPath + L"|" + call.name, call.access);
    EXPECT_EQ(opened, (std::vector<std::pair<std::wstring, DWORD>>{{L"|Ports", 2},
                                                                   {L"Ports|LAB", 2}}));
    auto address = registry.Value(L"Ports\\LAB", L"IPAddress");
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->type, static_cast<DWORD>(REG_SZ));
    wchar_t field[20] = L"127.0.0.10";
    EXPECT_EQ(address->data, std::vector<BYTE>(reinterpret_cast<BYTE*>(field),
                                               reinterpret_cast<BYTE*>(field) + 40));
    auto number = registry.Value(L"Ports\\LAB", L"PortNumber");
    ASSERT_TRUE(number.has_value());
    EXPECT_EQ(number->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number->data.size(), 4u);
    EXPECT_EQ(StoredPorts(), (std::vector<StoredPort>{{L"LAB", L"127.0.0.10", 9100}}));
    // The registry work runs in the spooler's own context and the client's is restored.
    std::vector<std::string> ops;
    const auto calls = spooler.Calls();
    for (size_t i = spoolerCallsBefore; i < calls.size(); ++i)
        ops.push_back(calls[i].op);
    EXPECT_EQ(ops, (std::vector<std::string>{"Revert", "Impersonate"}));

    HANDLE port = nullptr;
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"lab"), &port));
    ASSERT_NE(port, nullptr);
    EXPECT_STREQ(static_cast<PortEntry*>(port)->address, L"127.0.0.10");
    Table()->pfnClosePort(port);

    Restart();
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"LAB"});
    EXPECT_EQ(Entries(), (std::vector<EntryState>{{L"LAB", L"127.0.0.10", 9100, 1}}));
}

TEST_F(PortCommandTest, CreatedPortCanBePrintedToAtOnce)
{
    LoopbackSink printer(SinkMode::Record);
    ASSERT_NE(printer.Port(), 0);
    Start();
    ASSERT_EQ(CreatePort(L"NOW", L"127.0.0.1", printer.Port()), 0u);

    HANDLE port = nullptr;
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"NOW"), &port));
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(Table()->pfnStartDocPort(port, nullptr, 0, 1, nullptr));
    char document[] = "printed through a port made a moment ago";
    DWORD written = 0;
    ASSERT_TRUE(Table()->pfnWritePort(port, reinterpret_cast<BYTE*>(document),
                                      sizeof(document) - 1, &written));
    EXPECT_EQ(written, sizeof(document) - 1);
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    Table()->pfnClosePort(port);
    ASSERT_TRUE(printer.WaitForEnded(1));
    EXPECT_EQ(printer.Documents(), std::vector<std::string>{document});
}

TEST_F(PortCommandTest, PortKeepsTheLetterCaseThatPortDataGaveIt)
{
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"MyPort", L"127.0.0.10", 9100, 1)), 0u);
    ASSERT_EQ(NameCommand(L"AddPort", L"MYPORT"), 0u);
    EXPECT_EQ(registry.SubKeys(L"Ports"), std::vector<std::wstring>{L"MyPort"});
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"MyPort"});
    PortConfig read = {};
    EXPECT_EQ(ReadConfig(OpenXcv(0), L"myport", &read), 0u);
    EXPECT_STREQ(read.portName, L"MyPort");
}

TEST_F(PortCommandTest, TwoPendingEntriesOfOneNameAreStoredOldestFirst)
{
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"DUP", L"127.0.0.1", 9100, 1)), 0u);
    ASSERT_EQ(PortData(MakeConfig(L"dup", L"127.0.0.2", 9200, 1)), 0u);

    EXPECT_EQ(NameCommand(L"AddPort", L"Dup"), 0u);
    EXPECT_EQ(Entries(), (std::vector<EntryState>{{L"DUP", L"127.0.0.1", 9100, 1},
                                                  {L"dup", L"127.0.0.2", 9200, 0}}));
    EXPECT_EQ(StoredPorts(), (std::vector<StoredPort>{{L"DUP", L"127.0.0.1", 9100}}));

    EXPECT_EQ(NameCommand(L"AddPort", L"Dup"), 0u);
    EXPECT_EQ(Entries(), (std::vector<EntryState>{{L"DUP", L"127.0.0.1", 9100, 1},
                                                  {L"dup", L"127.0.0.2", 9200, 1}}));
    EXPECT_EQ(StoredPorts(), (std::vector<StoredPort>{{L"DUP", L"127.0.0.2", 9200}}));

    EXPECT_EQ(NameCommand(L"AddPort", L"Dup"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PortCommandTest, StoringANameWithNoPendingEntryStoresNothingAndChangesNothing)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    registry.calls.clear();
    for (const wchar_t* command : {L"AddPort", L"ModifyPort"}) {
        for (const wchar_t* name : {L"P1", L"NOPE"}) {
            EXPECT_EQ(NameCommand(command, name), static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
                << testing::PrintToString(std::wstring(command) + L" " + name);
        }
    }
    EXPECT_EQ(Entries(), kOnlyP1);
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"P1"});
}

TEST_F(PortCommandTest, StoredNamesMayHaveUpTo247Units)
{
    Start();
    HANDLE xcv = OpenXcv();
    GuardPage page;
    struct Row {
        size_t units;
        DWORD code;
    };
    // 247 units passes the length test and finds no pending entry; 248 is refused first.
    for (const Row& row : {Row{247, ERROR_FILE_NOT_FOUND}, Row{248, ERROR_INVALID_NAME},
                           Row{1000, ERROR_INVALID_NAME}}) {
        const std::vector<BYTE> name = NameBytes(std::wstring(row.units, L'Q'));
        for (const wchar_t* command : {L"AddPort", L"ModifyPort"}) {
            const BYTE* input = page.Place(name.data(), name.size());
            EXPECT_EQ(Call(xcv, command, input, static_cast<DWORD>(name.size())), row.code)
                << row.units << " units";
        }
    }
    const std::wstring longest = std::wstring(246, L'L');  // the longest PortData can create
    ASSERT_EQ(PortData(MakeConfig(longest, L"127.0.0.10", 9100, 1)), 0u);
    EXPECT_EQ(NameCommand(L"AddPort", longest), 0u);
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{longest});
    EXPECT_EQ(NameCommand(L"DeletePort", longest), 0u);
}

TEST_F(PortCommandTest, DeletePortRemovesAPendingEntryAndTheKeyOfItsNameThenFindsNothing)
{
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"P2", L"127.0.0.20", 9101, 1)), 0u);
    registry.calls.clear();
    EXPECT_EQ(NameCommand(L"DeletePort", L"p2"), 0u);
    EXPECT_TRUE(Entries().empty());
    const auto deletes = registry.CallsOf("DeleteKey");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].keyPath, L"Ports");
    EXPECT_EQ(deletes[0].name, L"p2");

    registry.calls.clear();
    EXPECT_EQ(NameCommand(L"DeletePort", L"P2"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(registry.calls.empty());
}

TEST_F(PortCommandTest, DeletePortRemovesAStoredPortFromTableAndRegistry)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    StorePort(L"P2", L"127.0.0.20", 9101);
    Start();
    EXPECT_EQ(NameCommand(L"DeletePort", L"P1"), 0u);
    EXPECT_EQ(Entries(), (std::vector<EntryState>{{L"P2", L"127.0.0.20", 9101, 1}}));
    EXPECT_EQ(StoredPorts(), (std::vector<StoredPort>{{L"P2", L"127.0.0.20", 9101}}));
    EXPECT_TRUE(registry.HasKey(L"Ports"));
    Restart();
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"P2"});
}

TEST_F(PortCommandTest, DeletePortLeavesAStoredPortThatTheTableDoesNotHold)
{
    Start();
    StorePort(L"GHOST", L"127.0.0.10", 9100);  // stored after the table was loaded
    registry.calls.clear();
    EXPECT_EQ(NameCommand(L"DeletePort", L"GHOST"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_TRUE(registry.HasKey(L"Ports\\GHOST"));
}

TEST_F(PortCommandTest, DeletedPortStaysValidUntilTheSpoolerClosesIt)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    HANDLE port = nullptr;
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"P1"), &port));
    ASSERT_NE(port, nullptr);
    HANDLE admin = OpenXcv();
    const std::vector<BYTE> name = NameBytes(L"P1");
    const LONG blocks = OutstandingBlocks();

    EXPECT_EQ(Call(admin, L"DeletePort", name.data(), static_cast<DWORD>(name.size())), 0u);
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(ListedPorts().empty());
    EXPECT_FALSE(registry.HasKey(L"Ports\\P1"));
    HANDLE again = reinterpret_cast<HANDLE>(1);
    ASSERT_TRUE(Table()->pfnOpenPort(Handle(), const_cast<LPWSTR>(L"P1"), &again));
    EXPECT_EQ(again, nullptr);
    // The spooler's handle still names a live entry.
    EXPECT_EQ(OutstandingBlocks(), blocks);
    EXPECT_STREQ(static_cast<PortEntry*>(port)->name, L"P1");
    EXPECT_STREQ(static_cast<PortEntry*>(port)->address, L"127.0.0.10");

    Table()->pfnClosePort(port);
    EXPECT_EQ(OutstandingBlocks(), blocks - 1);
}

TEST_F(PortCommandTest, GetDefaultPortConfigAnswersEachCaseWithItsCodeAndLeavesTheRestAlone)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    HANDLE reader = OpenXcv(0);
    const PortConfig whole = MakeConfig(L"p1", L"garbage address text", 5, 1);
    struct Row {
        const char* what;
        std::vector<BYTE> input;
        DWORD outputBytes;
        bool neededPointer;
        DWORD code;
        DWORD needed;
        bool filled;
    };
    const std::vector<BYTE> wholeBytes(reinterpret_cast<const BYTE*>(&whole),
                                       reinterpret_cast<const BYTE*>(&whole) + sizeof(whole));
    const Row rows[] = {
        {"a name", NameBytes(L"p1"), 996, true, 0, 0xdeadbeef, true},
        {"a whole record as input", wholeBytes, 996, true, 0, 0xdeadbeef, true},
        {"a larger output", NameBytes(L"P1"), 1200, true, 0, 0xdeadbeef, true},
        {"no such port", NameBytes(L"NOPE"), 996, true, 2, 0xdeadbeef, false},
        {"an empty name", NameBytes(L""), 996, true, 2, 0xdeadbeef, false},
        {"no input", {}, 996, true, 87, 0xdeadbeef, false},
        {"output one byte short", NameBytes(L"P1"), 995, true, 122, 996, false},
        {"output short, no needed pointer", NameBytes(L"P1"), 995, false, 122, 0xdeadbeef,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        GuardPage inputPage, outputPage;
        const BYTE* input =
            row.input.empty() ? nullptr : inputPage.Place(row.input.data(), row.input.size());
        BYTE* output = outputPage.Fill(0xCD, row.outputBytes);
        DWORD needed = 0xdeadbeef;
        EXPECT_EQ(Call(reader, L"GetDefaultPortConfig", input,
                       static_cast<DWORD>(row.input.size()), output, row.outputBytes,
                       row.neededPointer ? &needed : nullptr),
                  row.code);
        EXPECT_EQ(needed, row.needed);

        std::vector<BYTE> expected(row.outputBytes, 0xCD);
        if (row.filled) {
            std::memcpy(expected.data(), L"P1", 6);  // as the table spells it
            std::memcpy(expected.data() + 494, L"127.0.0.10", 22);
            const DWORD portNumber = 9100;
            std::memcpy(expected.data() + 988, &portNumber, 4);
        }
        EXPECT_EQ(std::vector<BYTE>(output, output + row.outputBytes), expected);
    }
    EXPECT_EQ(Entries(), kOnlyP1);
}

// The store fails at each of its steps: the pending entry it tried to store goes, the code of
// the registry comes back, and the committed port of the same name stays as it was.
TEST_F(PortCommandTest, FailedStoreRemovesThePendingEntryItTriedToStore)
{
    struct Row {
        const char* callback;
        const wchar_t* name;
        LONG code;
    };
    const Row rows[] = {
        {"CreateKey", L"Ports", ERROR_ACCESS_DENIED},
        {"CreateKey", L"P1", ERROR_CANTWRITE},
        {"SetValue", L"IPAddress", ERROR_OUTOFMEMORY},
    };
    StorePort(L"P1", L"127.0.0.10", 9100);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.callback);
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        Restart();
        ASSERT_EQ(PortData(MakeConfig(L"P1", L"127.0.0.11", 9200, 1)), 0u);
        registry.FailCallback(row.callback, row.code, row.name);
        EXPECT_EQ(NameCommand(L"AddPort", L"P1"), static_cast<DWORD>(row.code));
        registry.ClearFaults();
        EXPECT_EQ(Entries(), kOnlyP1);
        EXPECT_EQ(StoredPorts(), kStoredP1);
        EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"P1"});
    }
}

TEST_F(PortCommandTest, FailedModifyTakesThePortOutUntilTheNextStartBringsItsStoredValuesBack)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"P1", L"127.0.0.11", 9200, 0)), 0u);
    registry.FailCallback("CreateKey", ERROR_ACCESS_DENIED, L"Ports");
    EXPECT_EQ(NameCommand(L"ModifyPort", L"P1"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    registry.ClearFaults();
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(StoredPorts(), kStoredP1);
    Restart();
    EXPECT_EQ(Entries(), kOnlyP1);
}

}  // namespace

// A "DeletePort" that arrives while "AddPort" is storing the same port must wait for it: were
// it to release the entry meanwhile, the store would go on with a released entry and leave a key
// behind for a port that no longer exists.
class StoreRaceTest : public MonitorTest {
protected:
    static LONG WINAPI SetValueHook(HANDLE key, LPCWSTR value, DWORD type, const BYTE* data,
                                    DWORD bytes, HANDLE spooler)
    {
        if (std::function<void()> hook = std::exchange(onSetValue, nullptr))
            hook();
        return realSetValue(key, value, type, data, bytes, spooler);
    }
    static inline std::function<void()> onSetValue;
    static inline decltype(MONITORREG::fpSetValue) realSetValue = nullptr;
};

TEST_F(StoreRaceTest, DeleteDuringAStoreWaitsForTheStoreToFinish)
{
    MONITORREG hooked = *registry.Callbacks();
    realSetValue = hooked.fpSetValue;
    hooked.fpSetValue = SetValueHook;
    MONITORINIT init = registry.Init();
    init.pMonitorReg = &hooked;
    HANDLE monitor = nullptr;
    const MONITOR2* table = InitializePrintMonitor2(&init, &monitor);
    ASSERT_NE(table, nullptr);
    HANDLE xcv = nullptr;
    ASSERT_TRUE(table->pfnXcvOpenPort(monitor, L"", SERVER_ACCESS_ADMINISTER, &xcv));
    PortConfig config = MakeConfig(L"P1", L"127.0.0.10", 9100, 1);
    ASSERT_EQ(table->pfnXcvDataPort(xcv, L"PortData", reinterpret_cast<PBYTE>(&config),
                                    sizeof(config), nullptr, 0, nullptr),
              0u);
    std::vector<BYTE> name = NameBytes(L"P1");

    std::atomic<DWORD> deleteResult{0xdeadbeef};
    std::thread deleter;
    std::atomic<bool> deleteDone{false};
    onSetValue = [&] {
        deleter = std::thread([&] {
            deleteResult = table->pfnXcvDataPort(xcv, L"DeletePort", name.data(),
                                                 static_cast<DWORD>(name.size()), nullptr, 0,
                                                 nullptr);
            deleteDone = true;
        });
        // Give the delete every chance to overtake the store; it must not.
        for (int i = 0; i < 20 && !deleteDone; ++i)
            Sleep(10);
        EXPECT_FALSE(deleteDone) << "a delete ran while the port was being stored";
    };
    EXPECT_EQ(table->pfnXcvDataPort(xcv, L"AddPort", name.data(),
                                    static_cast<DWORD>(name.size()), nullptr, 0, nullptr),
              0u);
    ASSERT_TRUE(deleter.joinable());
    deleter.join();
    EXPECT_EQ(deleteResult.load(), 0u);
    EXPECT_EQ(static_cast<MonitorInstance*>(monitor)->ports, nullptr);
    EXPECT_FALSE(registry.HasKey(L"Ports\\P1"));

    table->pfnXcvClosePort(xcv);
    table->pfnShutdown(monitor);
}
