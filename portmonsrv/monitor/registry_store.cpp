#include "registry_store.h"

#include <cstring>
#include <cwchar>

#include "alloc.h"
#include "instance.h"
#include "port_table.h"
#include "spooler_host.h"

namespace {

constexpr wchar_t kPortsKey[] = L"Ports";
constexpr wchar_t kAddressValue[] = L"IPAddress";
constexpr wchar_t kPortNumberValue[] = L"PortNumber";
constexpr wchar_t kLegacyDataValue[] = L"Data";

constexpr REGSAM kReadAccess = KEY_READ;                     // 0x20019
constexpr REGSAM kMigrateAccess = KEY_READ | KEY_SET_VALUE;  // 0x2001B
constexpr REGSAM kWriteAccess = KEY_SET_VALUE;               // 2
static_assert(kReadAccess == 0x20019 && kMigrateAccess == 0x2001B && kWriteAccess == 2);

// Key names are read with room for 245 characters and the terminator; a longer name fails its
// index with ERROR_MORE_DATA and is passed over.
constexpr DWORD kNameCount = 246;
// Bytes of "IPAddress" written by the migration: the text followed by zero units.
constexpr DWORD kMigratedAddressBytes = 260;
// A registry that fails every index must not keep an enumeration going forever.
constexpr DWORD kMaxConsecutiveEnumFailures = 256;

// Runs the store's writes in the spooler's own security context, not the Xcv client's.
class SpoolerContext {
public:
    SpoolerContext() noexcept : token_(SpoolerHost.revertToPrinterSelf()) {}
    ~SpoolerContext()
    {
        if (token_ != nullptr)
            SpoolerHost.impersonatePrinterClient(token_);
    }
    SpoolerContext(const SpoolerContext&) = delete;
    SpoolerContext& operator=(const SpoolerContext&) = delete;

private:
    HANDLE token_;
};

// The address text of a legacy record, or NULL when the record is too short, or the offset or
// the text with its terminator lies outside it.
const BYTE* LegacyAddressText(const BYTE* record, DWORD recordBytes, size_t* units)
{
    if (recordBytes < sizeof(LegacyPortRecord))
        return nullptr;
    ULONGLONG offset = 0;
    std::memcpy(&offset, record + offsetof(LegacyPortRecord, addressOffset), sizeof(offset));
    if (offset >= recordBytes)
        return nullptr;
    const BYTE* text = record + offset;
    const size_t available = (recordBytes - static_cast<size_t>(offset)) / sizeof(wchar_t);
    for (size_t i = 0; i < available; ++i) {
        wchar_t unit;
        std::memcpy(&unit, text + i * sizeof(wchar_t), sizeof(unit));
        if (unit == L'\0') {
            *units = i;
            return text;
        }
    }
    return nullptr;
}

// Moves one legacy record into Ports\<name>. TRUE when both values were written; the caller
// deletes the legacy key only then, so a port whose migration fails is kept for the next start.
bool MigrateLegacyRecord(const RegistryAccess& access, HANDLE legacyKey, HANDLE portsKey,
                         const wchar_t* name)
{
    DWORD recordBytes = 0;
    LONG status = StoreQueryValue(access, legacyKey, kLegacyDataValue, nullptr, nullptr,
                                  &recordBytes);
    if (status != ERROR_SUCCESS || recordBytes == 0)
        return true;  // no record: the key goes without a port

    auto* record = static_cast<BYTE*>(ZeroedAlloc(recordBytes));
    if (record == nullptr)
        return false;
    DWORD type = REG_BINARY;
    DWORD readBytes = recordBytes;
    status = StoreQueryValue(access, legacyKey, kLegacyDataValue, &type, record, &readBytes);
    if (readBytes < recordBytes)
        recordBytes = readBytes;

    size_t textUnits = 0;
    const BYTE* text = status == ERROR_SUCCESS ? LegacyAddressText(record, recordBytes, &textUnits)
                                               : nullptr;
    bool migrated = false;
    if (text != nullptr) {
        wchar_t address[kPortConfigTextUnits] = {};
        const size_t copyUnits = textUnits < kPortConfigTextUnits - 1 ? textUnits
                                                                      : kPortConfigTextUnits - 1;
        std::memcpy(address, text, copyUnits * sizeof(wchar_t));
        DWORD portNumber = 0;
        std::memcpy(&portNumber, record + offsetof(LegacyPortRecord, portNumber),
                    sizeof(portNumber));

        StoreKey portKey(access);
        if (portKey.Create(portsKey, name, kMigrateAccess) == ERROR_SUCCESS &&
            StoreSetValue(access, portKey.get(), kAddressValue, REG_SZ,
                          reinterpret_cast<const BYTE*>(address), kMigratedAddressBytes) ==
                ERROR_SUCCESS &&
            StoreSetValue(access, portKey.get(), kPortNumberValue, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&portNumber), sizeof(portNumber)) ==
                ERROR_SUCCESS) {
            migrated = true;
        }
    }
    FreeBlock(record);
    return migrated;
}

void MigrateLegacyKeys(const RegistryAccess& access, HANDLE portsKey)
{
    wchar_t name[kPortConfigTextUnits];
    wchar_t lastDeleted[kPortConfigTextUnits] = {};
    DWORD index = 0;
    DWORD failures = 0;
    while (failures < kMaxConsecutiveEnumFailures) {
        std::memset(name, 0, sizeof(name));
        DWORD units = kNameCount;
        const LONG status = StoreEnumKey(access, access.root, index, name, &units);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS) {
            ++failures;
            ++index;
            continue;
        }
        failures = 0;
        // A deletion that reported success yet left the key must not make us loop on it.
        if (name[0] == L'\0' || wcscmp(name, kPortsKey) == 0 ||
            (lastDeleted[0] != L'\0' && wcscmp(name, lastDeleted) == 0)) {
            lastDeleted[0] = L'\0';
            ++index;
            continue;
        }

        bool removeKey = false;
        {
            StoreKey legacyKey(access);
            if (legacyKey.Create(access.root, name, kReadAccess) != ERROR_SUCCESS) {
                ++index;
                continue;
            }
            removeKey = MigrateLegacyRecord(access, legacyKey.get(), portsKey, name);
        }
        if (removeKey && StoreDeleteKey(access, access.root, name) == ERROR_SUCCESS) {
            std::memcpy(lastDeleted, name, sizeof(name));
            continue;  // the next key has moved into this index
        }
        lastDeleted[0] = L'\0';
        ++index;
    }
}

void LoadPortKeys(MonitorInstance* instance, HANDLE portsKey)
{
    const RegistryAccess& access = instance->registry;
    PortConfig config;
    DWORD failures = 0;
    for (DWORD index = 0; failures < kMaxConsecutiveEnumFailures; ++index) {
        std::memset(&config, 0, sizeof(config));
        DWORD units = kNameCount;
        const LONG status = StoreEnumKey(access, portsKey, index, config.portName, &units);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS) {
            ++failures;
            continue;
        }
        failures = 0;

        StoreKey portKey(access);
        if (portKey.Create(portsKey, config.portName, kReadAccess) != ERROR_SUCCESS)
            continue;  // unreadable: passed over, left in the registry

        DWORD type = REG_SZ;
        DWORD bytes = sizeof(config.address);
        const LONG addressStatus = StoreQueryValue(access, portKey.get(), kAddressValue, &type,
                                                   reinterpret_cast<BYTE*>(config.address),
                                                   &bytes);
        // A missing, unreadable or oversized address loads as empty: the port stays visible
        // so that an administrator can set it again.
        if (addressStatus != ERROR_SUCCESS ||
            BoundedLength(config.address, kPortConfigTextUnits) >= kPortAddressUnits)
            std::memset(config.address, 0, sizeof(config.address));

        type = REG_DWORD;
        bytes = sizeof(config.portNumber);
        if (StoreQueryValue(access, portKey.get(), kPortNumberValue, &type,
                            reinterpret_cast<BYTE*>(&config.portNumber), &bytes) != ERROR_SUCCESS)
            config.portNumber = 0;

        CreatePortEntry(instance, &config, 1);
    }
}

}  // namespace

void LoadStoredPorts(MonitorInstance* instance) noexcept
{
    RegistryAccess& access = instance->registry;
    StoreKey portsKey(access);
    LONG status = portsKey.Create(access.root, kPortsKey, kReadAccess);
    if (status == ERROR_CALL_NOT_IMPLEMENTED && access.ownRoot == nullptr &&
        SwitchToOwnRegistryHandle(access) == ERROR_SUCCESS) {
        status = portsKey.Create(access.root, kPortsKey, kReadAccess);
    }
    if (status != ERROR_SUCCESS)
        return;

    MigrateLegacyKeys(access, portsKey.get());
    LoadPortKeys(instance, portsKey.get());
}

LONG PersistPort(const PortEntry* entry) noexcept
{
    if (entry == nullptr)
        return ERROR_INVALID_PARAMETER;
    const RegistryAccess& access = entry->owner->registry;

    SpoolerContext context;
    StoreKey portsKey(access);
    LONG status = portsKey.Create(access.root, kPortsKey, kWriteAccess);
    if (status != ERROR_SUCCESS)
        return status;
    StoreKey portKey(access);
    status = portKey.Create(portsKey.get(), entry->name, kWriteAccess);
    if (status != ERROR_SUCCESS)
        return status;
    // The whole 20-unit field: the text, its terminator and the zeros behind it.
    status = StoreSetValue(access, portKey.get(), kAddressValue, REG_SZ,
                           reinterpret_cast<const BYTE*>(entry->address), sizeof(entry->address));
    if (status != ERROR_SUCCESS)
        return status;
    return StoreSetValue(access, portKey.get(), kPortNumberValue, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&entry->portNumber),
                         sizeof(entry->portNumber));
}

void UnpersistPort(MonitorInstance* instance, LPCWSTR name) noexcept
{
    if (name == nullptr)
        return;
    const RegistryAccess& access = instance->registry;

    SpoolerContext context;
    StoreKey portsKey(access);
    if (portsKey.Create(access.root, kPortsKey, kWriteAccess) == ERROR_SUCCESS)
        StoreDeleteKey(access, portsKey.get(), name);
}
