// EnumPortsW level 2, read into owned strings.
#include "spooler_ports.h"

#include <winspool.h>

namespace {

constexpr int kListAttempts = 5;

std::wstring TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? text : L"";
}

}  // namespace

DWORD ListSpoolerPorts(std::vector<SpoolerPort>& ports)
{
    ports.clear();
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    // The list can grow between asking for its size and reading it; ask again while it does.
    for (int attempt = 0;; ++attempt) {
        if (EnumPortsW(nullptr, 2, buffer.data(), DWORD(buffer.size()), &needed, &count))
            break;
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || attempt + 1 == kListAttempts)
            return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
        buffer.resize(needed);
    }
    // Never more entries than the buffer holds, whatever the count says.
    const DWORD fitting = DWORD(buffer.size() / sizeof(PORT_INFO_2W));
    const auto* entries = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count && i < fitting; ++i)
        ports.push_back({TextOrEmpty(entries[i].pPortName), TextOrEmpty(entries[i].pMonitorName),
                         TextOrEmpty(entries[i].pDescription)});
    return ERROR_SUCCESS;
}
