// Port handles: OpenPort hands out the port's entry, ClosePort ends the hold on it, NULL handles
// are refused harmlessly, and time-outs cannot be set.
#include <gtest/gtest.h>

#include "transport_fixture.h"

namespace {

using PortHandleTest = TransportTest;

const HANDLE kSentinelHandle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xdeadbeef));

TEST_F(PortHandleTest, OpenPortWithoutANameFailsWithInvalidParameter)
{
    Start();
    HANDLE handle = kSentinelHandle;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Table()->pfnOpenPort(Handle(), nullptr, &handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(handle, nullptr);
}

TEST_F(PortHandleTest, OpenPortFindsPortsRegardlessOfCaseAndPendingOnes)
{
    StorePort(L"IP_1", L"127.0.0.1", 9100);
    Start();
    const PortConfig pending = MakeConfig(L"Pending", L"127.0.0.2", 9100);
    PortEntry* pendingEntry = CreatePortEntry(Instance(), &pending, 0);
    ASSERT_NE(pendingEntry, nullptr);

    HANDLE stored = Open(L"ip_1");
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(Entry(stored)->name, L"IP_1");
    EXPECT_EQ(Open(L"PENDING"), pendingEntry);
    EXPECT_EQ(spooler.Calls().size(), 0u) << "opening a port touches no spooler operation";
    EXPECT_TRUE(Table()->pfnClosePort(stored));
    EXPECT_TRUE(Table()->pfnClosePort(pendingEntry));
}

TEST_F(PortHandleTest, UnknownPortGivesANullHandleThatEveryEntryPointRefusesHarmlessly)
{
    Start();
    HANDLE handle = Open(L"NoSuchPort");
    EXPECT_EQ(handle, nullptr);

    EXPECT_FALSE(StartDoc(handle, 1));
    EXPECT_TRUE(spooler.CallsOf("OpenPrinter").empty());

    BYTE buffer[4] = {};
    DWORD count = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Table()->pfnWritePort(handle, buffer, sizeof(buffer), &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Table()->pfnReadPort(handle, buffer, sizeof(buffer), &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Table()->pfnEndDocPort(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(count, 0xdeadbeefu);

    SetLastError(0xdeadbeef);
    EXPECT_TRUE(Table()->pfnClosePort(handle));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);

    EXPECT_TRUE(spooler.Calls().empty());
    EXPECT_TRUE(debugTexts.Take().empty());
}

TEST_F(PortHandleTest, SetPortTimeOutsAlwaysRefuses)
{
    StorePort(L"P1", L"127.0.0.1", 9100);
    Start();
    HANDLE port = Open(L"P1");
    COMMTIMEOUTS timeouts = {1, 2, 3, 4, 5};
    struct Case {
        DWORD reserved;
        DWORD error;
    };
    const Case cases[] = {{0, 0xdeadbeef}, {1, ERROR_INVALID_PARAMETER}};
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Table()->pfnSetPortTimeOuts(port, &timeouts, c.reserved)) << c.reserved;
        EXPECT_EQ(GetLastError(), c.error) << c.reserved;
    }
    Table()->pfnClosePort(port);
}

TEST_F(PortHandleTest, PortRemovedWhileHeldFinishesItsDocumentAndIsFreedByClosePort)
{
    LoopbackSink sink(SinkMode::Record);
    StorePort(L"P1", L"127.0.0.1", sink.Port());
    StorePort(L"P2", L"127.0.0.1", sink.Port());
    Start();
    HANDLE port = Open(L"P1");
    ASSERT_TRUE(StartDoc(port, 5));
    ASSERT_TRUE(WriteAll(port, "first half, ", 100));

    const LONG blocksHeld = OutstandingBlocks();
    {
        MonitorLockGuard lock;
        ASSERT_TRUE(RemovePortEntry(Instance(), L"P1"));
    }
    EXPECT_EQ(OutstandingBlocks(), blocksHeld) << "freed while the spooler holds it";
    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"P2"});

    EXPECT_TRUE(WriteAll(port, "second half", 100));
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    ExpectNothingHeld(port);
    ASSERT_TRUE(sink.WaitForEnded(1));
    EXPECT_EQ(sink.Documents()[0], "first half, second half");

    EXPECT_TRUE(Table()->pfnClosePort(port));
    EXPECT_EQ(OutstandingBlocks(), blocksHeld - 1);
}

TEST_F(PortHandleTest, ClosePortKeepsAPortThatIsStillInTheTable)
{
    StorePort(L"P1", L"127.0.0.1", 9100);
    Start();
    const LONG blocks = OutstandingBlocks();
    HANDLE first = Open(L"P1");
    EXPECT_TRUE(Table()->pfnClosePort(first));
    EXPECT_EQ(OutstandingBlocks(), blocks);
    EXPECT_EQ(Open(L"P1"), first);
    EXPECT_TRUE(Table()->pfnClosePort(first));
}

}  // namespace
