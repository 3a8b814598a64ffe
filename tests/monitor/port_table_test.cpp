// The port table: creation order, lookups by name, removal and the lifetime of held entries.
#include <gtest/gtest.h>

#include "monitor/monitor_lock.h"
#include "monitor_fixture.h"

namespace {

using PortTableTest = MonitorTest;

std::vector<std::wstring> TableNames(const MonitorInstance* instance)
{
    std::vector<std::wstring> names;
    for (const PortEntry* e = instance->ports; e != nullptr; e = e->next)
        names.emplace_back(e->name);
    return names;
}

TEST_F(PortTableTest, CreatedEntryCarriesTheRecordAndJoinsTheTail)
{
    Start();
    const PortConfig a = MakeConfig(L"A", L"127.0.0.1", 0x10000 + 9100);
    const PortConfig b = MakeConfig(L"B", L"127.000.000.002", 515);
    PortEntry* first = CreatePortEntry(Instance(), &a, 0);
    PortEntry* second = CreatePortEntry(Instance(), &b, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(first->signature, 0x5450u);
    EXPECT_EQ(first->size, sizeof(PortEntry) + 2 * sizeof(wchar_t));
    EXPECT_EQ(first->name, reinterpret_cast<wchar_t*>(first + 1));
    EXPECT_EQ(first->portNumber, 0x10000u + 9100);
    EXPECT_EQ(first->socket, INVALID_SOCKET);
    EXPECT_STREQ(second->address, L"127.000.000.002");
    EXPECT_EQ(first->committed, 0u);
    EXPECT_EQ(second->committed, 1u);
    EXPECT_EQ(first->printer, nullptr);
    EXPECT_EQ(first->owner, Instance());
}

TEST_F(PortTableTest, AddressMustFitTheEntryField)
{
    Start();
    const struct {
        std::wstring address;
        bool accepted;
    } cases[] = {
        {L"", true},
        {L"255.255.255.255", true},
        {std::wstring(19, L'1'), true},
        {std::wstring(20, L'1'), false},  // would have to be cut: refused
        {std::wstring(246, L'1'), false},
    };
    for (const auto& c : cases) {
        const PortConfig config = MakeConfig(L"P", c.address, 1);
        SetLastError(0xdeadbeef);
        PortEntry* entry = CreatePortEntry(Instance(), &config, 0);
        EXPECT_EQ(entry != nullptr, c.accepted) << c.address.size() << " units";
        if (entry != nullptr) {
            EXPECT_EQ(std::wstring(entry->address), c.address);
            MonitorLockGuard lock;
            RemovePortEntry(Instance(), L"P");
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
    EXPECT_EQ(Instance()->ports, nullptr);
}

TEST_F(PortTableTest, UnterminatedNameIsRefused)
{
    Start();
    PortConfig config = MakeConfig(L"", L"127.0.0.1", 1);
    for (auto& unit : config.portName)
        unit = L'N';
    EXPECT_EQ(CreatePortEntry(Instance(), &config, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PortTableTest, NoMemoryLeavesTheTableUnchanged)
{
    Start();
    const PortConfig config = MakeConfig(L"P", L"127.0.0.1", 1);
    FailNthAllocation(1);
    EXPECT_EQ(CreatePortEntry(Instance(), &config, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(Instance()->ports, nullptr);
}

TEST_F(PortTableTest, FindTakesTheOldestMatchIgnoringCase)
{
    Start();
    const PortConfig older = MakeConfig(L"IP_1", L"127.0.0.1", 1);
    const PortConfig newer = MakeConfig(L"ip_1", L"127.0.0.2", 2);
    PortEntry* first = CreatePortEntry(Instance(), &older, 0);
    CreatePortEntry(Instance(), &newer, 1);

    MonitorLockGuard lock;
    EXPECT_EQ(FindPortEntry(Instance()->ports, L"ip_1"), first);
    EXPECT_EQ(FindPortEntry(Instance()->ports, L"IP_2"), nullptr);
    EXPECT_EQ(FindPortEntry(Instance()->ports, nullptr), nullptr);
    EXPECT_EQ(FindPortEntry(first->next, L"IP_1"), first->next);
}

TEST_F(PortTableTest, RemoveUnlinksTheFirstMatchAnywhereInTheList)
{
    Start();
    for (const wchar_t* name : {L"A", L"B", L"C", L"B"}) {
        const PortConfig config = MakeConfig(name, L"127.0.0.1", 1);
        CreatePortEntry(Instance(), &config, 1);
    }
    MonitorLockGuard lock;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemovePortEntry(Instance(), L"Z"));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);

    EXPECT_TRUE(RemovePortEntry(Instance(), L"a"));  // head
    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"B", L"C", L"B"}));
    EXPECT_TRUE(RemovePortEntry(Instance(), L"B"));  // first of two
    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"C", L"B"}));
    EXPECT_TRUE(RemovePortEntry(Instance(), L"B"));  // tail
    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"C"}));

    // The tail moved back: an append after removing the tail still lands at the end.
    const PortConfig d = MakeConfig(L"D", L"127.0.0.1", 1);
    CreatePortEntry(Instance(), &d, 1);
    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"C", L"D"}));
    EXPECT_TRUE(RemovePortEntry(Instance(), L"C"));
    EXPECT_TRUE(RemovePortEntry(Instance(), L"D"));
    EXPECT_EQ(Instance()->ports, nullptr);
    const PortConfig e = MakeConfig(L"E", L"127.0.0.1", 1);
    CreatePortEntry(Instance(), &e, 1);
    EXPECT_EQ(TableNames(Instance()), (std::vector<std::wstring>{L"E"}));
}

TEST_F(PortTableTest, EntryHeldAsPortHandleOutlivesItsRemoval)
{
    Start();
    const PortConfig config = MakeConfig(L"HELD", L"127.0.0.1", 9100);
    PortEntry* entry = CreatePortEntry(Instance(), &config, 1);
    const LONG blocks = OutstandingBlocks();
    {
        MonitorLockGuard lock;
        RetainPortEntry(entry);
        RetainPortEntry(entry);
        EXPECT_TRUE(RemovePortEntry(Instance(), L"HELD"));
        EXPECT_EQ(FindPortEntry(Instance()->ports, L"HELD"), nullptr);
    }
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{});
    EXPECT_EQ(OutstandingBlocks(), blocks);  // still alive for its holders
    EXPECT_STREQ(entry->address, L"127.0.0.1");

    ReleasePortEntry(entry);
    EXPECT_EQ(OutstandingBlocks(), blocks);
    ReleasePortEntry(entry);
    EXPECT_EQ(OutstandingBlocks(), blocks - 1);
}

TEST_F(PortTableTest, ShutdownFreesEntriesStillHeldAfterRemoval)
{
    Start();
    const PortConfig config = MakeConfig(L"HELD", L"127.0.0.1", 9100);
    PortEntry* entry = CreatePortEntry(Instance(), &config, 1);
    MonitorLockGuard lock;
    RetainPortEntry(entry);
    RemovePortEntry(Instance(), L"HELD");
    // TearDown's Shutdown must release it: the fixture fails on any block left.
}

}  // namespace
