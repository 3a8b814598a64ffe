// Xcv handles and command dispatch: opening and closing handles, and how a command name finds
// its handler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "guard_page.h"
#include "monitor/monitor_lock.h"
#include "xcv/command_table.h"
#include "xcv/xcv_entry.h"
#include "xcv_fixture.h"

namespace {

using XcvHandleTest = XcvTest;

std::vector<const XcvEntry*> OpenHandles(MonitorInstance* instance)
{
    std::vector<const XcvEntry*> handles;
    MonitorLockGuard lock;
    for (const XcvEntry* xcv = instance->xcvs; xcv != nullptr; xcv = xcv->next)
        handles.push_back(xcv);
    return handles;
}

TEST(XcvCommandTable, HoldsTheElevenCommandsInSearchOrderWithModifyPortSharingAddPort)
{
    const std::vector<std::wstring_view> expected = {
        L"MonitorUI",   L"ConfigureLPTPortCommandOK",   L"PortData",
        L"AddPort",     L"DeletePort",                  L"PortExists",
        L"PortIsValid", L"GetTransmissionRetryTimeout", L"SetDefaultCommConfig",
        L"GetDefaultPortConfig", L"ModifyPort"};
    std::vector<std::wstring_view> names;
    for (const XcvCommand& command : kXcvCommands) {
        names.push_back(command.name);
        EXPECT_NE(command.handler, nullptr);
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(kXcvCommands[10].handler, kXcvCommands[3].handler);
}

TEST_F(XcvHandleTest, OpenRecordsNameAccessAndOwnerAndListsHandlesInOpeningOrder)
{
    Start();
    const LONG blocksBefore = OutstandingBlocks();
    HANDLE first = OpenXcv(SERVER_ACCESS_ADMINISTER, L",XcvPort P1");
    HANDLE second = OpenXcv(0x12345678, nullptr);  // no name is the empty name
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(OutstandingBlocks(), blocksBefore + 2);

    const auto* a = static_cast<const XcvEntry*>(first);
    EXPECT_EQ(a->signature, 0x5843u);
    EXPECT_STREQ(a->objectName, L",XcvPort P1");
    EXPECT_EQ(a->objectName, reinterpret_cast<const wchar_t*>(a + 1));  // one block
    EXPECT_EQ(a->size, sizeof(XcvEntry) + sizeof(L",XcvPort P1"));
    EXPECT_EQ(a->grantedAccess, static_cast<ACCESS_MASK>(SERVER_ACCESS_ADMINISTER));
    EXPECT_EQ(a->owner, Instance());
    const auto* b = static_cast<const XcvEntry*>(second);
    EXPECT_STREQ(b->objectName, L"");
    EXPECT_EQ(b->size, sizeof(XcvEntry) + sizeof(wchar_t));
    EXPECT_EQ(b->grantedAccess, 0x12345678u);

    EXPECT_EQ(OpenHandles(Instance()), (std::vector<const XcvEntry*>{a, b}));
    CloseXcv(first);
    EXPECT_EQ(OpenHandles(Instance()), (std::vector<const XcvEntry*>{b}));
    CloseXcv(second);
    EXPECT_TRUE(OpenHandles(Instance()).empty());
    EXPECT_EQ(OutstandingBlocks(), blocksBefore);
}

TEST_F(XcvHandleTest, ClosingAMiddleHandleKeepsTheOthersInOrder)
{
    Start();
    HANDLE a = OpenXcv();
    HANDLE b = OpenXcv();
    HANDLE c = OpenXcv();
    CloseXcv(b);
    EXPECT_EQ(OpenHandles(Instance()),
              (std::vector<const XcvEntry*>{static_cast<XcvEntry*>(a), static_cast<XcvEntry*>(c)}));
    HANDLE d = OpenXcv();
    EXPECT_EQ(OpenHandles(Instance()).back(), static_cast<XcvEntry*>(d));
}

// Only the exact name reaches a command: here "AddPort", which would store the pending P2.
TEST_F(XcvHandleTest, OnlyTheExactCommandNameReachesItsHandler)
{
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"P2", L"127.0.0.20", 9101, 1)), 0u);
    HANDLE xcv = OpenXcv();
    const std::vector<BYTE> input = NameBytes(L"P2");
    const std::vector<EntryState> pending = {{L"P2", L"127.0.0.20", 9101, 0}};
    registry.calls.clear();

    const wchar_t* const refused[] = {L"addport", L"ADDPORT",  L"AddPort ", L" AddPort",
                                      L"AddPor",  L"AddPortt", L"Add Port", L"",
                                      L"AddPort\t", nullptr};
    for (const wchar_t* name : refused) {
        DWORD needed = 0xdeadbeef;
        EXPECT_EQ(Call(xcv, name, input.data(), static_cast<DWORD>(input.size()), nullptr, 0,
                       &needed),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER))
            << (name ? testing::PrintToString(std::wstring(name)) : "NULL");
        EXPECT_EQ(needed, 0xdeadbeefu);
    }
    EXPECT_EQ(Entries(), pending);
    EXPECT_TRUE(registry.calls.empty());

    EXPECT_EQ(Call(xcv, L"AddPort", input.data(), static_cast<DWORD>(input.size())), 0u);
    EXPECT_EQ(Entries(), (std::vector<EntryState>{{L"P2", L"127.0.0.20", 9101, 1}}));
}

// The command name is compared unit by unit and never read past its terminator, even where
// it is a prefix of a command's name.
TEST_F(XcvHandleTest, CommandNamesAreNotReadPastTheirTerminator)
{
    Start();
    HANDLE xcv = OpenXcv();
    GuardPage page;
    for (const wchar_t* name : {L"A", L"Add", L"PortD", L"M", L"Get"}) {
        const size_t bytes = (std::wcslen(name) + 1) * sizeof(wchar_t);
        const auto* placed = reinterpret_cast<const wchar_t*>(page.Place(name, bytes));
        EXPECT_EQ(Call(xcv, placed, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    // A full name at the guard reaches its command ("DeletePort" of nothing: 87 for no name).
    const auto* exact = reinterpret_cast<const wchar_t*>(page.Place(L"DeletePort", 22));
    EXPECT_EQ(Call(xcv, exact, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const std::vector<BYTE> input = NameBytes(L"NOPE");
    exact = reinterpret_cast<const wchar_t*>(page.Place(L"DeletePort", 22));
    EXPECT_EQ(Call(xcv, exact, input.data(), static_cast<DWORD>(input.size())),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(XcvHandleTest, AMissingBufferCountsAsEmptyWhateverSizeCameWithIt)
{
    Start();
    HANDLE xcv = OpenXcv();
    const struct {
        LPCWSTR command;
        DWORD needed;
    } outputs[] = {
        {L"MonitorUI", 26},
        {L"GetTransmissionRetryTimeout", 4},
        {L"GetDefaultPortConfig", 996},
    };
    for (const auto& c : outputs) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.command).size());
        const std::vector<BYTE> name = NameBytes(L"P1");
        DWORD needed = 0xdeadbeef;
        EXPECT_EQ(Call(xcv, c.command, name.data(), static_cast<DWORD>(name.size()), nullptr,
                       4096, &needed),
                  static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(needed, c.needed);
    }
    DWORD listed = 0xdeadbeef;
    DWORD needed = 0;
    EXPECT_EQ(Call(xcv, L"PortExists", nullptr, 64, &listed, sizeof(listed), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(listed, 0xdeadbeefu);
    EXPECT_EQ(Call(xcv, L"PortIsValid", nullptr, sizeof(PortConfig)),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvHandleTest, HandlesAreIndependentOfEachOtherAndOfTheirObjectName)
{
    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    HANDLE reader = OpenXcv(0, L",XcvPort P1");
    HANDLE admin = OpenXcv(SERVER_ACCESS_ADMINISTER, L",XcvMonitor VEXA Port Monitor");
    const std::vector<BYTE> input = NameBytes(L"P1");
    EXPECT_EQ(Call(reader, L"DeletePort", input.data(), static_cast<DWORD>(input.size())),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    PortConfig out = {};
    DWORD needed = 0;
    EXPECT_EQ(Call(reader, L"GetDefaultPortConfig", input.data(),
                   static_cast<DWORD>(input.size()), &out, sizeof(out), &needed),
              0u);
    EXPECT_STREQ(out.portName, L"P1");
    EXPECT_EQ(Call(admin, L"DeletePort", input.data(), static_cast<DWORD>(input.size())), 0u);
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
