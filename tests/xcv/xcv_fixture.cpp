#include "xcv_fixture.h"

#include <algorithm>
#include <cstring>

#include "monitor/monitor_lock.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

void PrintTo(const EntryState& entry, std::ostream* out)
{
    *out << "{" << Narrow(entry.name) << ", " << Narrow(entry.address) << ", "
         << entry.portNumber << (entry.committed ? ", committed}" : ", pending}");
}

void PrintTo(const StoredPort& port, std::ostream* out)
{
    *out << "{" << Narrow(port.name) << ", " << Narrow(port.address) << ", " << port.portNumber
         << "}";
}

std::vector<BYTE> NameBytes(const std::wstring& name, bool terminated)
{
    const size_t units = name.size() + (terminated ? 1 : 0);
    std::vector<BYTE> bytes(units * sizeof(wchar_t));
    std::memcpy(bytes.data(), name.c_str(), bytes.size());
    return bytes;
}

void XcvTest::TearDown()
{
    for (HANDLE xcv : open_)
        Table()->pfnXcvClosePort(xcv);
    open_.clear();
    admin_ = nullptr;
    MonitorTest::TearDown();
}

void XcvTest::Restart()
{
    for (HANDLE xcv : open_)
        Table()->pfnXcvClosePort(xcv);
    open_.clear();
    admin_ = nullptr;
    Start();
}

HANDLE XcvTest::OpenXcv(ACCESS_MASK access, LPCWSTR object)
{
    HANDLE xcv = nullptr;
    EXPECT_TRUE(Table()->pfnXcvOpenPort(Handle(), object, access, &xcv));
    if (xcv != nullptr)
        open_.push_back(xcv);
    return xcv;
}

void XcvTest::CloseXcv(HANDLE xcv)
{
    open_.erase(std::remove(open_.begin(), open_.end(), xcv), open_.end());
    if (xcv == admin_)
        admin_ = nullptr;
    EXPECT_TRUE(Table()->pfnXcvClosePort(xcv));
}

DWORD XcvTest::Call(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputBytes,
                    void* output, DWORD outputBytes, DWORD* needed)
{
    return Table()->pfnXcvDataPort(xcv, command,
                                   static_cast<PBYTE>(const_cast<void*>(input)), inputBytes,
                                   static_cast<PBYTE>(output), outputBytes, needed);
}

DWORD XcvTest::PortData(const PortConfig& config)
{
    if (admin_ == nullptr)
        admin_ = OpenXcv();
    return Call(admin_, L"PortData", &config, sizeof(config));
}

DWORD XcvTest::NameCommand(LPCWSTR command, const std::wstring& name)
{
    if (admin_ == nullptr)
        admin_ = OpenXcv();
    const std::vector<BYTE> input = NameBytes(name);
    DWORD needed = 0;
    return Call(admin_, command, input.data(), static_cast<DWORD>(input.size()), nullptr, 0,
                &needed);
}

DWORD XcvTest::CreatePort(const std::wstring& name, const std::wstring& address,
                          DWORD portNumber)
{
    if (DWORD result = PortData(MakeConfig(name, address, portNumber, 1)))
        return result;
    return NameCommand(L"AddPort", name);
}

std::vector<EntryState> XcvTest::Entries()
{
    std::vector<EntryState> entries;
    MonitorLockGuard lock;
    const PortEntry* last = nullptr;
    for (const PortEntry* entry = Instance()->ports; entry != nullptr; entry = entry->next) {
        entries.push_back({entry->name, entry->address, entry->portNumber, entry->committed});
        last = entry;
    }
    EXPECT_EQ(Instance()->lastPort, last) << "the tail pointer must name the last entry";
    return entries;
}

std::vector<StoredPort> XcvTest::StoredPorts()
{
    std::vector<StoredPort> ports;
    for (const std::wstring& name : registry.SubKeys(L"Ports")) {
        StoredPort port{name, registry.StringValue(L"Ports\\" + name, L"IPAddress")};
        if (auto value = registry.Value(L"Ports\\" + name, L"PortNumber");
            value && value->data.size() == sizeof(DWORD))
            std::memcpy(&port.portNumber, value->data.data(), sizeof(DWORD));
        ports.push_back(port);
    }
    return ports;
}
