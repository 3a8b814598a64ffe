// EnumPorts and PackPortInfo: the spooler's view of the committed ports.
#include <cstring>

#include "../resource.h"
#include "alloc.h"
#include "entry_points.h"
#include "instance.h"
#include "module.h"
#include "monitor_lock.h"
#include "port_enum.h"
#include "port_table.h"

namespace {

constexpr int kStringUnits = 260;
constexpr DWORD kInfo1Bytes = sizeof(PORT_INFO_1W);
constexpr DWORD kInfo2Bytes = sizeof(PORT_INFO_2W);
static_assert(kInfo1Bytes == 8 && kInfo2Bytes == 32);
static_assert(offsetof(PORT_INFO_2W, pPortName) == 0);
static_assert(offsetof(PORT_INFO_2W, pMonitorName) == 8);
static_assert(offsetof(PORT_INFO_2W, pDescription) == 16);

DWORD LoadTableString(UINT id, wchar_t (&buffer)[kStringUnits])
{
    buffer[0] = L'\0';
    const int units = LoadStringW(ModuleHandle, id, buffer, kStringUnits);
    return units > 0 ? static_cast<DWORD>(units) : 0;
}

// Bytes one entry needs at the level; `textBytes` is what the two string-table texts add at
// level 2 (loaded once per call, not once per port).
DWORD NeededBytes(const PortEntry* entry, DWORD level, DWORD textBytes)
{
    const DWORD nameBytes = static_cast<DWORD>((lstrlenW(entry->name) + 1) * sizeof(wchar_t));
    if (level == 1)
        return kInfo1Bytes + nameBytes;
    if (level == 2)
        return kInfo2Bytes + nameBytes + textBytes;
    return 0;
}

DWORD TableTextBytes()
{
    wchar_t monitorName[kStringUnits];
    wchar_t description[kStringUnits];
    return (LoadTableString(IDS_MONITOR_NAME, monitorName) + 1) * 2 +
           (LoadTableString(IDS_PORT_DESCRIPTION, description) + 1) * 2;
}

}  // namespace

LPBYTE PackPortInfo(const PortEntry* entry, DWORD level, LPBYTE record, LPBYTE end) noexcept
{
    static constexpr DWORD kLevel1Offsets[] = {offsetof(PORT_INFO_1W, pName)};
    static constexpr DWORD kLevel2Offsets[] = {offsetof(PORT_INFO_2W, pPortName),
                                               offsetof(PORT_INFO_2W, pMonitorName),
                                               offsetof(PORT_INFO_2W, pDescription)};
    const DWORD* offsets = nullptr;
    DWORD rows = 0;
    if (level == 1) {
        offsets = kLevel1Offsets;
        rows = 1;
    } else if (level == 2) {
        offsets = kLevel2Offsets;
        rows = 3;
    } else {
        return nullptr;
    }

    auto* strings = static_cast<const wchar_t**>(ZeroedAlloc(rows * sizeof(wchar_t*)));
    if (strings == nullptr)
        return nullptr;

    wchar_t monitorName[kStringUnits];
    wchar_t description[kStringUnits];
    strings[0] = entry->name;
    if (level == 2) {
        LoadTableString(IDS_MONITOR_NAME, monitorName);
        LoadTableString(IDS_PORT_DESCRIPTION, description);
        strings[1] = monitorName;
        strings[2] = description;
        auto* info = reinterpret_cast<PORT_INFO_2W*>(record);
        info->fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
        info->Reserved = 0;
    }

    for (DWORD row = 0; row < rows; ++row) {
        LPWSTR placed = nullptr;
        if (strings[row] != nullptr) {
            const size_t bytes = (lstrlenW(strings[row]) + 1) * sizeof(wchar_t);
            end -= bytes;
            std::memcpy(end, strings[row], bytes);
            placed = reinterpret_cast<LPWSTR>(end);
        }
        std::memcpy(record + offsets[row], &placed, sizeof(placed));
    }
    FreeBlock(strings);
    return end;
}

// Lists the committed ports at level 1 or 2, strings packed downwards from the end of the
// caller's buffer. The lock is held from sizing to packing, so both see the same table.
// Fails with 122 (needed size written, count untouched) when the buffer is too small, and with
// 124 for another level when there is anything to list.
BOOL WINAPI EnumPorts(HANDLE hMonitor, LPWSTR /*pName*/, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                      LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    auto* instance = static_cast<MonitorInstance*>(hMonitor);
    MonitorLockGuard lock;

    const DWORD textBytes = Level == 2 ? TableTextBytes() : 0;
    DWORD needed = 0;
    bool anyCommitted = false;
    for (const PortEntry* entry = instance->ports; entry != nullptr; entry = entry->next) {
        if (entry->committed) {
            anyCommitted = true;
            needed += NeededBytes(entry, Level, textBytes);
        }
    }
    *pcbNeeded = needed;
    if (needed > cbBuf) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    *pcReturned = 0;
    if (Level != 1 && Level != 2) {
        if (anyCommitted) {
            SetLastError(ERROR_INVALID_LEVEL);
            return FALSE;
        }
        return TRUE;
    }

    LPBYTE record = pPorts;
    LPBYTE end = pPorts + cbBuf;
    const DWORD recordBytes = Level == 1 ? kInfo1Bytes : kInfo2Bytes;
    for (const PortEntry* entry = instance->ports; entry != nullptr; entry = entry->next) {
        if (!entry->committed)
            continue;
        LPBYTE newEnd = PackPortInfo(entry, Level, record, end);
        if (newEnd == nullptr)
            return FALSE;  // the allocator's error stands; the records so far are counted
        end = newEnd;
        record += recordBytes;
        ++*pcReturned;
    }
    return TRUE;
}
