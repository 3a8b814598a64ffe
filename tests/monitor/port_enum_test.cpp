// EnumPorts: the byte layout the spooler reads, sizes and failures.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor_fixture.h"

namespace {

using EnumPortsTest = MonitorTest;

constexpr DWORD kSentinel = 0xdeadbeef;
const std::wstring kMonitorText = L"VEXA Port Monitor";

struct EnumResult {
    BOOL ok;
    DWORD error;
    DWORD needed;
    DWORD returned;
};

EnumResult Enum(const MONITOR2* table, HANDLE monitor, DWORD level, BYTE* buffer, DWORD bytes)
{
    EnumResult r = {FALSE, 0, kSentinel, kSentinel};
    SetLastError(kSentinel);
    r.ok = table->pfnEnumPorts(monitor, nullptr, level, buffer, bytes, &r.needed, &r.returned);
    r.error = GetLastError();
    return r;
}

std::wstring TextAt(const BYTE* buffer, size_t offset)
{
    return reinterpret_cast<const wchar_t*>(buffer + offset);
}

size_t OffsetOf(const BYTE* buffer, const void* pointer)
{
    return static_cast<const BYTE*>(pointer) - buffer;
}

TEST_F(EnumPortsTest, NothingCommittedListsNothing)
{
    Start();
    const PortConfig pending = MakeConfig(L"PENDING", L"127.0.0.1", 1);
    PortEntry* entry = CreatePortEntry(Instance(), &pending, 0);
    for (DWORD level : {1u, 2u}) {
        const EnumResult r = Enum(Table(), Handle(), level, nullptr, 0);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.needed, 0u);
        EXPECT_EQ(r.returned, 0u);
    }
    // Not listed, yet found by name.
    EXPECT_EQ(FindPortEntry(Instance()->ports, L"pending"), entry);
}

TEST_F(EnumPortsTest, NeededSizesAndTooSmallBuffers)
{
    StorePort(L"P1", L"127.0.0.1", 9100);
    Start();
    const struct {
        DWORD level;
        DWORD bytes;
        BOOL ok;
        DWORD needed;
    } cases[] = {
        {1, 0, FALSE, 14},  {1, 13, FALSE, 14}, {1, 14, TRUE, 14},
        {2, 0, FALSE, 110}, {2, 109, FALSE, 110}, {2, 110, TRUE, 110},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> buffer(c.bytes + 1);
        const EnumResult r = Enum(Table(), Handle(), c.level, buffer.data(), c.bytes);
        EXPECT_EQ(r.ok, c.ok) << "level " << c.level << ", " << c.bytes << " bytes";
        EXPECT_EQ(r.needed, c.needed);
        if (c.ok) {
            EXPECT_EQ(r.returned, 1u);
        } else {
            EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(r.returned, kSentinel) << "count must stay untouched";
        }
    }
}

TEST_F(EnumPortsTest, Level1PacksTheNameAtTheEndOfTheWholeBuffer)
{
    StorePort(L"P1", L"127.0.0.1", 9100);
    Start();
    BYTE buffer[100];
    std::memset(buffer, 0xAB, sizeof(buffer));
    const EnumResult r = Enum(Table(), Handle(), 1, buffer, sizeof(buffer));
    ASSERT_TRUE(r.ok);
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer);
    EXPECT_EQ(OffsetOf(buffer, info->pName), 94u);
    EXPECT_EQ(TextAt(buffer, 94), L"P1");
    EXPECT_EQ(buffer[8], 0xAB) << "bytes between record and strings are not written";
    EXPECT_EQ(buffer[93], 0xAB);
}

TEST_F(EnumPortsTest, Level2PacksNameMonitorAndDescriptionDownwards)
{
    StorePort(L"P1", L"127.0.0.1", 9100);
    Start();
    BYTE buffer[200];
    std::memset(buffer, 0xAB, sizeof(buffer));
    const EnumResult r = Enum(Table(), Handle(), 2, buffer, sizeof(buffer));
    ASSERT_TRUE(r.ok);
    auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer);
    EXPECT_EQ(info->fPortType, 3u);
    EXPECT_EQ(info->Reserved, 0u);
    EXPECT_EQ(OffsetOf(buffer, info->pPortName), 194u);
    EXPECT_EQ(OffsetOf(buffer, info->pMonitorName), 158u);
    EXPECT_EQ(OffsetOf(buffer, info->pDescription), 122u);
    EXPECT_EQ(TextAt(buffer, 194), L"P1");
    EXPECT_EQ(TextAt(buffer, 158), kMonitorText);
    EXPECT_EQ(TextAt(buffer, 122), kMonitorText);
}

TEST_F(EnumPortsTest, RecordsFollowTableOrderWithOlderStringsNearerTheEnd)
{
    StorePort(L"A", L"127.0.0.1", 1);
    StorePort(L"B", L"127.0.0.2", 2);
    Start();
    BYTE buffer[64];
    const EnumResult r = Enum(Table(), Handle(), 1, buffer, sizeof(buffer));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.returned, 2u);
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer);
    EXPECT_EQ(std::wstring(info[0].pName), L"A");
    EXPECT_EQ(std::wstring(info[1].pName), L"B");
    EXPECT_EQ(OffsetOf(buffer, info[0].pName), 60u);
    EXPECT_EQ(OffsetOf(buffer, info[1].pName), 56u);
}

TEST_F(EnumPortsTest, OtherLevelsFailOnlyWhenThereIsSomethingToList)
{
    Start();
    EnumResult r = Enum(Table(), Handle(), 3, nullptr, 0);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.needed, 0u);
    EXPECT_EQ(r.returned, 0u);

    StorePort(L"P1", L"127.0.0.1", 1);
    Start();
    r = Enum(Table(), Handle(), 3, nullptr, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(r.needed, 0u);
    EXPECT_EQ(r.returned, 0u);
}

TEST_F(EnumPortsTest, NoMemoryWhilePackingKeepsTheRecordsWritten)
{
    StorePort(L"A", L"127.0.0.1", 1);
    StorePort(L"B", L"127.0.0.2", 2);
    Start();
    BYTE buffer[64];
    FailNthAllocation(2);  // the second record's string array
    const EnumResult r = Enum(Table(), Handle(), 1, buffer, sizeof(buffer));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(r.returned, 1u);
    EXPECT_EQ(std::wstring(reinterpret_cast<PORT_INFO_1W*>(buffer)->pName), L"A");
}

}  // namespace
