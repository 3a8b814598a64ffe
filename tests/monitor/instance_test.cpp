// The monitor's frame: the entry-point table, instances and their lifetime.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor/entry_points.h"
#include "monitor_fixture.h"

namespace {

using InstanceTest = MonitorTest;

TEST_F(InstanceTest, TableHasTheMonitor2ShapeWithTwelveFilledSlots)
{
    Start();
    const MONITOR2* table = Table();
    EXPECT_EQ(table->cbSize, 160u);
    const void* slots[] = {
        reinterpret_cast<const void*>(table->pfnEnumPorts),
        reinterpret_cast<const void*>(table->pfnOpenPort),
        reinterpret_cast<const void*>(table->pfnOpenPortEx),
        reinterpret_cast<const void*>(table->pfnStartDocPort),
        reinterpret_cast<const void*>(table->pfnWritePort),
        reinterpret_cast<const void*>(table->pfnReadPort),
        reinterpret_cast<const void*>(table->pfnEndDocPort),
        reinterpret_cast<const void*>(table->pfnClosePort),
        reinterpret_cast<const void*>(table->pfnAddPort),
        reinterpret_cast<const void*>(table->pfnAddPortEx),
        reinterpret_cast<const void*>(table->pfnConfigurePort),
        reinterpret_cast<const void*>(table->pfnDeletePort),
        reinterpret_cast<const void*>(table->pfnGetPrinterDataFromPort),
        reinterpret_cast<const void*>(table->pfnSetPortTimeOuts),
        reinterpret_cast<const void*>(table->pfnXcvOpenPort),
        reinterpret_cast<const void*>(table->pfnXcvDataPort),
        reinterpret_cast<const void*>(table->pfnXcvClosePort),
        reinterpret_cast<const void*>(table->pfnShutdown),
        reinterpret_cast<const void*>(table->pfnSendRecvBidiDataFromPort),
    };
#define SLOT(field, fn) reinterpret_cast<const void*>(static_cast<decltype(MONITOR2::field)>(&fn))
    const void* expected[] = {
        SLOT(pfnEnumPorts, EnumPorts),       SLOT(pfnOpenPort, OpenPort),
        nullptr,                             SLOT(pfnStartDocPort, StartDocPort),
        SLOT(pfnWritePort, WritePort),       SLOT(pfnReadPort, ReadPort),
        SLOT(pfnEndDocPort, EndDocPort),     SLOT(pfnClosePort, ClosePort),
        nullptr,                             nullptr,
        nullptr,                             nullptr,
        nullptr,                             SLOT(pfnSetPortTimeOuts, SetPortTimeOuts),
        SLOT(pfnXcvOpenPort, XcvOpenPort),   SLOT(pfnXcvDataPort, XcvDataPort),
        SLOT(pfnXcvClosePort, XcvClosePort), SLOT(pfnShutdown, Shutdown),
        nullptr,
    };
#undef SLOT
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i], expected[i]) << "slot " << i;
}

TEST_F(InstanceTest, TwoInstancesShareTheTableAndKeepTheirOwnRegistry)
{
    FakeRegistry other;
    wchar_t address[20] = L"127.0.0.2";
    other.SetValue(L"Ports\\OTHER", L"IPAddress", REG_SZ, address, sizeof(address));
    StorePort(L"MINE", L"127.0.0.1", 9100);

    Start();
    MONITORINIT otherInit = other.Init();
    HANDLE otherHandle = nullptr;
    const MONITOR2* otherTable = InitializePrintMonitor2(&otherInit, &otherHandle);
    ASSERT_EQ(otherTable, Table());
    ASSERT_NE(otherHandle, Handle());
    // The init record may be a local of the host's loader: spoil it after the call.
    std::memset(&otherInit, 0xCC, sizeof(otherInit));

    EXPECT_EQ(ListedPorts(), std::vector<std::wstring>{L"MINE"});
    auto* otherInstance = static_cast<MonitorInstance*>(otherHandle);
    ASSERT_NE(otherInstance->ports, nullptr);
    EXPECT_STREQ(otherInstance->ports->name, L"OTHER");
    EXPECT_EQ(otherInstance->signature, 0x004D4C49u);
    otherTable->pfnShutdown(otherHandle);
}

TEST_F(InstanceTest, ShutdownReleasesEveryPortAndTheInstance)
{
    for (int i = 0; i < 5; ++i)
        StorePort(L"P" + std::to_wstring(i), L"127.0.0.1", 9100);
    const LONG before = OutstandingBlocks();
    Start();
    EXPECT_EQ(OutstandingBlocks(), before + 6);
    Stop();
    EXPECT_EQ(OutstandingBlocks(), before);
}

}  // namespace
