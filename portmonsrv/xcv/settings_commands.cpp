// The spooler settings commands: the spooler-wide transmission retry time-out (read and written
// in the system registry, not through the spooler's registry callbacks; the monitor only carries
// it between the registry and the user-interface library), a device's default communication
// settings, and the name of the user-interface library.
#include "settings_commands.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "../monitor/alloc.h"
#include "bounded_text.h"
#include "commands.h"
#include "xcv_entry.h"
#include "xcv_input.h"

SetDefaultCommConfigFunction SystemSetDefaultCommConfig = ::SetDefaultCommConfigW;

namespace {

// The first read capacity: enough for a four-digit time-out and its terminator; a longer value
// costs a second query at the size the registry names.
constexpr DWORD kFirstReadBytes = 10;

// The user-interface library, "vxaPM64U.dll": 12 characters, 26 bytes with the terminator.
constexpr size_t kUiNameUnits = 20;
constexpr DWORD kUiNameBytes = 26;

// A key of the system registry, closed on every path.
class SystemKey {
public:
    SystemKey() = default;
    ~SystemKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    SystemKey(const SystemKey&) = delete;
    SystemKey& operator=(const SystemKey&) = delete;

    LONG Open(REGSAM access) noexcept
    {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRetryTimeoutKey, 0, access, &key_);
    }
    HKEY Get() const noexcept { return key_; }

private:
    HKEY key_ = nullptr;
};

// A ZeroedAlloc block, released on every path.
class ZeroedBlock {
public:
    ZeroedBlock() = default;
    ~ZeroedBlock() { FreeBlock(block_); }
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;

    bool Reset(DWORD bytes) noexcept
    {
        FreeBlock(block_);
        block_ = ZeroedAlloc(bytes);
        return block_ != nullptr;
    }
    BYTE* Bytes() const noexcept { return static_cast<BYTE*>(block_); }

private:
    void* block_ = nullptr;
};

}  // namespace

void ReadTransmissionRetryTimeout(DWORD* timeout) noexcept
{
    *timeout = kDefaultRetryTimeout;
    SystemKey key;
    if (key.Open(KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return;

    // Two zero bytes stay behind the capacity handed to the registry, so the text is terminated
    // whatever the registry stored.
    DWORD capacity = kFirstReadBytes;
    ZeroedBlock buffer;
    if (!buffer.Reset(capacity + sizeof(wchar_t)))
        return;
    DWORD type = REG_NONE;
    DWORD bytes = capacity;
    LONG status = RegQueryValueExW(key.Get(), kRetryTimeoutValue, nullptr, &type, buffer.Bytes(),
                                   &bytes);
    if (status == ERROR_MORE_DATA) {
        capacity = bytes;
        if (capacity > MAXDWORD - sizeof(wchar_t) || !buffer.Reset(capacity + sizeof(wchar_t)))
            return;
        bytes = capacity;
        status = RegQueryValueExW(key.Get(), kRetryTimeoutValue, nullptr, &type, buffer.Bytes(),
                                  &bytes);
    }
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return;

    // The text ends at the last whole unit of the capacity, whatever length the registry gave.
    auto* text = reinterpret_cast<wchar_t*>(buffer.Bytes());
    text[capacity / sizeof(wchar_t) - 1] = L'\0';
    unsigned long number = 0;
    if (swscanf(text, L"%lu", &number) == 1)
        *timeout = number;
}

wchar_t* DuplicateWideString(const wchar_t* text) noexcept
{
    if (text == nullptr)
        return nullptr;
    const size_t units = std::wcslen(text) + 1;
    auto* copy = static_cast<wchar_t*>(ZeroedAlloc(static_cast<DWORD>(units * sizeof(wchar_t))));
    if (copy != nullptr)
        std::memcpy(copy, text, units * sizeof(wchar_t));
    return copy;
}

// "MonitorUI": output the user-interface library's name with its terminator (26 bytes); bytes
// behind it are left alone. Always reports 26 bytes needed; 122 for a smaller output.
DWORD MonitorUiCommand(const BYTE*, DWORD, BYTE* output, DWORD outputBytes, DWORD* needed,
                       XcvEntry*)
{
    if (needed != nullptr)
        *needed = kUiNameBytes;
    wchar_t name[kUiNameUnits] = {};
    AppendBounded(name, kUiNameUnits, L"vxa");
    AppendBounded(name, kUiNameUnits, L"PM64U.dll");
    if (outputBytes < kUiNameBytes)
        return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(output, name, kUiNameBytes);
    return ERROR_SUCCESS;
}

// "ConfigureLPTPortCommandOK": input the new retry time-out as UTF-16 text, terminated within the
// input; it is stored as it comes (a text that is no number reads back as 45). 5 without the
// administer right; 87 for a missing or unterminated text; else the registry's result of opening
// the key (which must exist) and setting the value.
DWORD ConfigureLptPortCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*,
                              XcvEntry* xcv)
{
    if (!HasAdministerRight(xcv))
        return ERROR_ACCESS_DENIED;
    std::wstring_view text;
    if (!ReadTextInput(input, inputBytes, &text))
        return ERROR_INVALID_PARAMETER;

    SystemKey key;
    const LONG status = key.Open(KEY_SET_VALUE);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    return static_cast<DWORD>(RegSetValueExW(key.Get(), kRetryTimeoutValue, 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.data()),
                                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

// "GetTransmissionRetryTimeout": output one DWORD, the retry time-out (45 when the registry has no
// usable value). Always reports 4 bytes needed; 122 for a smaller output (the registry is not
// read); otherwise it succeeds.
DWORD GetTransmissionRetryTimeoutCommand(const BYTE*, DWORD, BYTE* output, DWORD outputBytes,
                                         DWORD* needed, XcvEntry*)
{
    if (needed != nullptr)
        *needed = sizeof(DWORD);
    if (outputBytes < sizeof(DWORD))
        return ERROR_INSUFFICIENT_BUFFER;
    DWORD timeout = kDefaultRetryTimeout;
    ReadTransmissionRetryTimeout(&timeout);
    std::memcpy(output, &timeout, sizeof(timeout));
    return ERROR_SUCCESS;
}

// "SetDefaultCommConfig": input one COMMCONFIG, whose dwSize the system is handed as its size;
// it becomes the default of the device the Xcv handle was opened for ("COM1:" names COM1; an
// object name without a final colon names no device). 5 without the administer right; 87, the
// system not called, for an input shorter than dwSize or than the dwSize field itself, or a
// dwSize shorter than the record's fixed part; else 0 or the system's last error.
DWORD SetDefaultCommConfigCommand(const BYTE* input, DWORD inputBytes, BYTE*, DWORD, DWORD*,
                                  XcvEntry* xcv)
{
    if (!HasAdministerRight(xcv))
        return ERROR_ACCESS_DENIED;
    DWORD declaredBytes = 0;
    if (input == nullptr || inputBytes < sizeof(declaredBytes))
        return ERROR_INVALID_PARAMETER;
    std::memcpy(&declaredBytes, input, sizeof(declaredBytes));  // COMMCONFIG.dwSize
    // The system reads at least the fixed part of the record (the DCB included): a record that
    // claims less would have it read past the client's input.
    if (declaredBytes > inputBytes || declaredBytes < offsetof(COMMCONFIG, wcProviderData))
        return ERROR_INVALID_PARAMETER;

    // The object name is the monitor's own terminated copy, made at XcvOpenPort.
    const wchar_t* object = xcv->objectName;
    const size_t objectUnits = object != nullptr ? std::wcslen(object) : 0;
    wchar_t* device = nullptr;
    if (objectUnits > 0 && object[objectUnits - 1] == L':') {
        device = DuplicateWideString(object);
        if (device == nullptr)
            return GetLastError();
        device[objectUnits - 1] = L'\0';
    }

    DWORD result = ERROR_SUCCESS;
    if (!SystemSetDefaultCommConfig(device, reinterpret_cast<LPCOMMCONFIG>(const_cast<BYTE*>(input)),
                                    declaredBytes)) {
        result = GetLastError();
        if (result == ERROR_SUCCESS)
            result = ERROR_GEN_FAILURE;  // a refusal must never read as success
    }
    FreeBlock(device);
    return result;
}
