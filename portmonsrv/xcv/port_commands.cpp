// "PortData", "AddPort"/"ModifyPort", "DeletePort" and "GetDefaultPortConfig": creating,
// changing, storing, deleting and reading back ports over the Xcv channel.
//
// A new or changed port first enters the table as a pending entry ("PortData"), which EnumPorts
// does not list and which is not stored; "AddPort" (or "ModifyPort") then stores it and makes it
// committed. Every change of the table, and the registry work that goes with it, happens under
// MonitorLock, so a concurrent "DeletePort" can never release an entry that is being stored.
#include <cstddef>
#include <cstring>
#include <string_view>

#include "../monitor/instance.h"
#include "../monitor/monitor_lock.h"
#include "../monitor/port_table.h"
#include "../monitor/registry_store.h"
#include "commands.h"
#include "xcv_entry.h"
#include "xcv_input.h"

namespace {

// The longest port name "AddPort"/"ModifyPort" takes on to the search, in UTF-16 units.
constexpr size_t kMaxStoredNameUnits = 247;

// The client's record, copied out of its buffer, with both texts known to be terminated inside
// their fields and the address known to fit an entry. FALSE for any other input.
bool ReadPortConfig(const BYTE* input, DWORD inputBytes, PortConfig* config)
{
    if (input == nullptr || inputBytes != sizeof(PortConfig))
        return false;
    std::memcpy(config, input, sizeof(PortConfig));
    const size_t nameLength = BoundedLength(config->portName, kPortConfigTextUnits);
    const size_t addressLength = BoundedLength(config->address, kPortConfigTextUnits);
    // An empty name would make the store write into "Ports" itself. An address is never cut:
    // a cut address would send documents to another printer.
    return nameLength > 0 && nameLength < kPortConfigTextUnits &&
           addressLength < kPortAddressUnits;
}

PortEntry* FindPendingPortEntry(PortEntry* first, LPCWSTR name)
{
    for (PortEntry* entry = FindPortEntry(first, name); entry != nullptr;
         entry = FindPortEntry(entry->next, name)) {
        if (!entry->committed)
            return entry;
    }
    return nullptr;
}

// Writes one text with its terminator at the start of a 247-unit field of the client's output,
// reading at most `textCapacity` (at most 247) units of it; a text that does not fit leaves the
// field empty. Nothing behind the terminator is written.
void WriteConfigText(BYTE* field, const wchar_t* text, size_t textCapacity)
{
    static_assert(kPortAddressUnits <= kPortConfigTextUnits);
    const size_t length = BoundedLength(text, textCapacity);
    if (length >= textCapacity) {
        const wchar_t empty = L'\0';
        std::memcpy(field, &empty, sizeof(empty));
        return;
    }
    std::memcpy(field, text, length * sizeof(wchar_t));
    const wchar_t terminator = L'\0';
    std::memcpy(field + length * sizeof(wchar_t), &terminator, sizeof(terminator));
}

}  // namespace

// "PortData": input one PortConfig of exactly 996 bytes, no output. With `newPort` set, appends a
// pending entry (no check for a port of that name: the table may hold several); otherwise makes
// the first entry of that name pending with the record's address and port number, which its
// next document already uses. Returns 87 for no handle, a size other than 996, an empty or
// unterminated name, or an address that does not fit a port (nothing changes); 5 without the
// administer right; 123 for a new name with a backslash; 2 when no port has the name to change;
// the allocator's error when a new entry cannot be had.
DWORD PortDataCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*, XcvEntry* xcv)
{
    if (xcv == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!HasAdministerRight(xcv))
        return ERROR_ACCESS_DENIED;
    PortConfig config;
    if (!ReadPortConfig(input, inputBytes, &config))
        return ERROR_INVALID_PARAMETER;

    MonitorInstance* instance = xcv->owner;
    if (config.newPort != 0) {
        // The name becomes a registry key below "Ports": a backslash would store the port in
        // nested keys that no start-up loads back.
        if (std::wstring_view(config.portName).find(L'\\') != std::wstring_view::npos)
            return ERROR_INVALID_NAME;
        if (CreatePortEntry(instance, &config, 0) == nullptr) {
            const DWORD error = GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_NOT_ENOUGH_MEMORY;
        }
        return ERROR_SUCCESS;
    }

    MonitorLockGuard lock;
    PortEntry* entry = FindPortEntry(instance->ports, config.portName);
    if (entry == nullptr)
        return ERROR_FILE_NOT_FOUND;
    SetPortAddress(entry, config.address, kPortConfigTextUnits);
    entry->portNumber = config.portNumber;
    entry->committed = 0;
    entry->spare = 0;
    return ERROR_SUCCESS;
}

// "AddPort" and "ModifyPort": input a port name and its terminator, exactly that many bytes; no
// output. Stores the first pending entry of that name (committed ones are passed over) and makes
// it committed and listed. Returns 87 for no handle or an input that is missing, unterminated
// or not exactly the name; 5 without the administer right; 123 for a name over 247 units; 2 when
// no pending entry has the name (nothing stored, the table unchanged). When the store fails,
// that pending entry leaves the table and the registry's code is returned.
DWORD AddPortCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*, XcvEntry* xcv)
{
    if (xcv == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!HasAdministerRight(xcv))
        return ERROR_ACCESS_DENIED;
    std::wstring_view name;
    if (!ReadTextInput(input, inputBytes, &name) ||
        inputBytes != (name.size() + 1) * sizeof(wchar_t))
        return ERROR_INVALID_PARAMETER;
    if (name.size() > kMaxStoredNameUnits)
        return ERROR_INVALID_NAME;

    MonitorInstance* instance = xcv->owner;
    // Held across the store, so that no "DeletePort" can release the entry meanwhile.
    MonitorLockGuard lock;
    PortEntry* entry = FindPendingPortEntry(instance->ports, name.data());
    if (entry == nullptr)
        return ERROR_FILE_NOT_FOUND;
    const LONG status = PersistPort(entry);
    if (status != ERROR_SUCCESS) {
        // The pending values are lost; a port stored before comes back at the next start.
        RemoveThisPortEntry(instance, entry);
        return static_cast<DWORD>(status);
    }
    entry->committed = 1;
    return ERROR_SUCCESS;
}

// "DeletePort": input a terminated port name (the size beyond it is not examined); no output.
// Takes the first entry of that name, pending or committed, out of the table and deletes the
// port's stored key. An entry the spooler still holds open lives on until its last ClosePort.
// Returns 5 without the administer right, 87 for a missing or unterminated name, 2 when no entry
// has the name (the store is left alone).
DWORD DeletePortCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*, XcvEntry* xcv)
{
    if (!HasAdministerRight(xcv))
        return ERROR_ACCESS_DENIED;
    std::wstring_view name;
    if (!ReadTextInput(input, inputBytes, &name))
        return ERROR_INVALID_PARAMETER;

    MonitorInstance* instance = xcv->owner;
    MonitorLockGuard lock;
    if (!RemovePortEntry(instance, name.data()))
        return ERROR_FILE_NOT_FOUND;
    UnpersistPort(instance, name.data());
    return ERROR_SUCCESS;
}

// "GetDefaultPortConfig": input a terminated port name (a PortConfig serves too, since it begins
// with the name); output one PortConfig. Fills `portName` (as the table spells it), `address`
// and `portNumber` of the first entry of that name, pending values included; `newPort` and the
// units behind each terminator are left as they were. Needs no administer right. Returns 122 and
// a needed size of 996 (when there is a pointer for it) for an output under 996 bytes; 87 for a
// missing or unterminated name; 2, output untouched, when no entry has the name.
DWORD GetDefaultPortConfigCommand(const BYTE* input, DWORD inputBytes, BYTE* output,
                                  DWORD outputBytes, DWORD* needed, XcvEntry* xcv)
{
    if (output == nullptr || outputBytes < sizeof(PortConfig)) {
        if (needed != nullptr)
            *needed = sizeof(PortConfig);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::wstring_view name;
    if (xcv == nullptr || !ReadTextInput(input, inputBytes, &name))
        return ERROR_INVALID_PARAMETER;

    MonitorLockGuard lock;
    const PortEntry* entry = FindPortEntry(xcv->owner->ports, name.data());
    if (entry == nullptr)
        return ERROR_FILE_NOT_FOUND;
    WriteConfigText(output + offsetof(PortConfig, portName), entry->name, kPortConfigTextUnits);
    WriteConfigText(output + offsetof(PortConfig, address), entry->address, kPortAddressUnits);
    std::memcpy(output + offsetof(PortConfig, portNumber), &entry->portNumber,
                sizeof(entry->portNumber));
    return ERROR_SUCCESS;
}
