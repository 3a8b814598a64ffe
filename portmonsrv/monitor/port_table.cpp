#include "port_table.h"

#include <cstring>

#include "alloc.h"
#include "instance.h"
#include "monitor_lock.h"

size_t BoundedLength(const wchar_t* text, size_t capacity) noexcept
{
    size_t length = 0;
    while (length < capacity && text[length] != L'\0')
        ++length;
    return length;
}

BOOL SetPortAddress(PortEntry* entry, const wchar_t* address, size_t addressCapacity) noexcept
{
    const size_t length = BoundedLength(address, addressCapacity);
    if (length >= kPortAddressUnits)
        return FALSE;
    std::memcpy(entry->address, address, length * sizeof(wchar_t));
    std::memset(entry->address + length, 0, (kPortAddressUnits - length) * sizeof(wchar_t));
    return TRUE;
}

PortEntry* CreatePortEntry(MonitorInstance* instance, const PortConfig* config,
                           DWORD committed) noexcept
{
    const size_t nameLength = BoundedLength(config->portName, kPortConfigTextUnits);
    const size_t addressLength = BoundedLength(config->address, kPortConfigTextUnits);
    if (nameLength >= kPortConfigTextUnits || addressLength >= kPortAddressUnits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    const DWORD size = static_cast<DWORD>(sizeof(PortEntry) + (nameLength + 1) * sizeof(wchar_t));
    auto* entry = static_cast<PortEntry*>(ZeroedAlloc(size));
    if (entry == nullptr)
        return nullptr;

    entry->name = reinterpret_cast<wchar_t*>(entry + 1);
    std::memcpy(entry->name, config->portName, nameLength * sizeof(wchar_t));
    SetPortAddress(entry, config->address, kPortConfigTextUnits);
    entry->signature = kPortEntrySignature;
    entry->size = size;
    entry->portNumber = config->portNumber;
    entry->socket = INVALID_SOCKET;
    entry->committed = committed;
    entry->owner = instance;

    MonitorLockGuard lock;
    if (instance->ports == nullptr)
        instance->ports = entry;
    else
        instance->lastPort->next = entry;
    instance->lastPort = entry;
    return entry;
}

PortEntry* FindPortEntry(PortEntry* first, LPCWSTR name) noexcept
{
    if (name == nullptr)
        return nullptr;
    for (PortEntry* entry = first; entry != nullptr; entry = entry->next) {
        if (lstrcmpiW(entry->name, name) == 0)
            return entry;
    }
    return nullptr;
}

namespace {
// Unlinks `entry` (whose predecessor is `previous`, NULL for the head) and releases it, or, while
// the spooler still holds it as a port handle, keeps it until its last ClosePort.
void UnlinkPortEntry(MonitorInstance* instance, PortEntry* previous, PortEntry* entry)
{
    if (previous == nullptr)
        instance->ports = entry->next;
    else
        previous->next = entry->next;
    if (instance->lastPort == entry)
        instance->lastPort = previous;

    if (entry->openHandles > 0) {
        entry->removed = TRUE;
        entry->next = instance->removedPorts;
        instance->removedPorts = entry;
    } else {
        FreeBlock(entry);
    }
}
}  // namespace

BOOL RemovePortEntry(MonitorInstance* instance, LPCWSTR name) noexcept
{
    if (name == nullptr)
        return FALSE;
    PortEntry* previous = nullptr;
    for (PortEntry* entry = instance->ports; entry != nullptr; entry = entry->next) {
        if (lstrcmpiW(entry->name, name) == 0) {
            UnlinkPortEntry(instance, previous, entry);
            return TRUE;
        }
        previous = entry;
    }
    return FALSE;
}

BOOL RemoveThisPortEntry(MonitorInstance* instance, PortEntry* target) noexcept
{
    PortEntry* previous = nullptr;
    for (PortEntry* entry = instance->ports; entry != nullptr; entry = entry->next) {
        if (entry == target) {
            UnlinkPortEntry(instance, previous, entry);
            return TRUE;
        }
        previous = entry;
    }
    return FALSE;
}

void RetainPortEntry(PortEntry* entry) noexcept
{
    ++entry->openHandles;
}

void ReleasePortEntry(PortEntry* entry) noexcept
{
    MonitorLockGuard lock;
    if (entry->openHandles > 0)
        --entry->openHandles;
    if (!entry->removed || entry->openHandles > 0)
        return;

    MonitorInstance* instance = entry->owner;
    PortEntry** link = &instance->removedPorts;
    while (*link != nullptr && *link != entry)
        link = &(*link)->next;
    if (*link == entry)
        *link = entry->next;
    FreeBlock(entry);
}

namespace {
void FreeList(PortEntry* entry)
{
    while (entry != nullptr) {
        PortEntry* next = entry->next;
        FreeBlock(entry);
        entry = next;
    }
}
}

void FreePortTable(MonitorInstance* instance) noexcept
{
    FreeList(instance->ports);
    FreeList(instance->removedPorts);
    instance->ports = nullptr;
    instance->lastPort = nullptr;
    instance->removedPorts = nullptr;
}
