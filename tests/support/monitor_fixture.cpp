#include "monitor_fixture.h"

#include <cstring>

void MonitorTest::SetUp()
{
    blocksBefore_ = OutstandingBlocks();
}

void MonitorTest::TearDown()
{
    Stop();
    EXPECT_EQ(OutstandingBlocks(), blocksBefore_) << "blocks left after Shutdown";
    EXPECT_EQ(registry.OpenKeys(), 0u) << "registry keys left open";
}

void MonitorTest::Start()
{
    Stop();
    init_ = registry.Init();
    table_ = InitializePrintMonitor2(&init_, &handle_);
    ASSERT_NE(table_, nullptr);
}

void MonitorTest::Stop()
{
    if (handle_ != nullptr) {
        table_->pfnShutdown(handle_);
        handle_ = nullptr;
    }
}

void MonitorTest::StorePort(const std::wstring& name, const std::wstring& address,
                            DWORD portNumber)
{
    wchar_t field[20] = {};
    std::memcpy(field, address.c_str(), (address.size() + 1) * sizeof(wchar_t));
    registry.SetValue(L"Ports\\" + name, L"IPAddress", REG_SZ, field, sizeof(field));
    registry.SetDword(L"Ports\\" + name, L"PortNumber", portNumber);
}

std::vector<std::wstring> MonitorTest::ListedPorts()
{
    DWORD needed = 0, returned = 0;
    table_->pfnEnumPorts(handle_, nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    std::vector<std::wstring> names;
    if (!table_->pfnEnumPorts(handle_, nullptr, 1, buffer.data(), needed, &needed, &returned))
        return names;
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i)
        names.emplace_back(info[i].pName);
    return names;
}

PortConfig MakeConfig(const std::wstring& name, const std::wstring& address, DWORD portNumber,
                      DWORD newPort)
{
    PortConfig config = {};
    std::memcpy(config.portName, name.c_str(),
                std::min<size_t>(name.size(), kPortConfigTextUnits) * sizeof(wchar_t));
    std::memcpy(config.address, address.c_str(),
                std::min<size_t>(address.size(), kPortConfigTextUnits) * sizeof(wchar_t));
    config.portNumber = portNumber;
    config.newPort = newPort;
    return config;
}
