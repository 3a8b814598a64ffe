// How one monitor instance reaches the registry root that the spooler gave it.
//
// A spooler that implements the MONITORREG callbacks (Windows') is always used through them. A
// host whose callbacks all answer ERROR_CALL_NOT_IMPLEMENTED (Wine's) still hands over a real key
// as hckRegistryRoot but closes it when InitializePrintMonitor2 returns; for such a host the
// instance opens a handle of its own to that key and runs the same store through the Win32
// registry. Nothing outside the registry store knows which of the two is in use.
#pragma once

#include "../win32.h"

struct RegistryAccess {
    HANDLE spooler = nullptr;   // hSpooler: the last argument of every callback
    HANDLE root = nullptr;      // hckRegistryRoot, or ownRoot once the Win32 registry is used
    MONITORREG callbacks = {};  // copied: the host's records need not outlive the initialisation
    HKEY ownRoot = nullptr;     // our own handle to the root; non-NULL selects the Win32 registry
};

// Copies what the store needs from the host's MONITORINIT (values, never the pointer).
void InitRegistryAccess(RegistryAccess& access, const MONITORINIT& init) noexcept;

// Opens our own handle to the root and routes every later call through the Win32 registry.
// Must run while the host's root key is still open (during InitializePrintMonitor2).
LONG SwitchToOwnRegistryHandle(RegistryAccess& access) noexcept;

// Closes our own root handle, if any (at Shutdown).
void CloseRegistryAccess(RegistryAccess& access) noexcept;

// The six operations of the store, each mapped to the callback or Win32 call of the same name.
LONG StoreCreateKey(const RegistryAccess& access, HANDLE parent, LPCWSTR subKey, REGSAM desired,
                    HANDLE* key) noexcept;
LONG StoreCloseKey(const RegistryAccess& access, HANDLE key) noexcept;
LONG StoreDeleteKey(const RegistryAccess& access, HANDLE parent, LPCWSTR subKey) noexcept;
LONG StoreEnumKey(const RegistryAccess& access, HANDLE key, DWORD index, LPWSTR name,
                  DWORD* nameUnits) noexcept;
LONG StoreSetValue(const RegistryAccess& access, HANDLE key, LPCWSTR value, DWORD type,
                   const BYTE* data, DWORD bytes) noexcept;
LONG StoreQueryValue(const RegistryAccess& access, HANDLE key, LPCWSTR value, DWORD* type,
                     BYTE* data, DWORD* bytes) noexcept;

// A key opened through StoreCreateKey, closed through StoreCloseKey on every path.
class StoreKey {
public:
    explicit StoreKey(const RegistryAccess& access) noexcept : access_(access) {}
    ~StoreKey() { Close(); }
    StoreKey(const StoreKey&) = delete;
    StoreKey& operator=(const StoreKey&) = delete;

    // Opens (or creates) parent\subKey; replaces nothing when it fails.
    LONG Create(HANDLE parent, LPCWSTR subKey, REGSAM desired) noexcept
    {
        Close();
        HANDLE key = nullptr;
        LONG status = StoreCreateKey(access_, parent, subKey, desired, &key);
        if (status == ERROR_SUCCESS && key == nullptr)
            status = ERROR_INVALID_HANDLE;
        if (status == ERROR_SUCCESS)
            key_ = key;
        return status;
    }
    void Close() noexcept
    {
        if (key_ != nullptr) {
            StoreCloseKey(access_, key_);
            key_ = nullptr;
        }
    }
    HANDLE get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }

private:
    const RegistryAccess& access_;
    HANDLE key_ = nullptr;
};
