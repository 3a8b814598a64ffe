#include "registry_access.h"

#include <algorithm>
#include <cstring>

void InitRegistryAccess(RegistryAccess& access, const MONITORINIT& init) noexcept
{
    access.spooler = init.hSpooler;
    access.root = init.hckRegistryRoot;
    access.ownRoot = nullptr;
    access.callbacks = {};
    if (init.pMonitorReg != nullptr) {
        const DWORD bytes = std::min<DWORD>(init.pMonitorReg->cbSize, sizeof(MONITORREG));
        std::memcpy(&access.callbacks, init.pMonitorReg, bytes);
    }
}

LONG SwitchToOwnRegistryHandle(RegistryAccess& access) noexcept
{
    if (access.ownRoot != nullptr)
        return ERROR_SUCCESS;
    HKEY own = nullptr;
    const LONG status = RegOpenKeyExW(static_cast<HKEY>(access.root), L"", 0,
                                      KEY_READ | KEY_WRITE, &own);
    if (status != ERROR_SUCCESS)
        return status;
    access.ownRoot = own;
    access.root = own;
    return ERROR_SUCCESS;
}

void CloseRegistryAccess(RegistryAccess& access) noexcept
{
    if (access.ownRoot != nullptr) {
        RegCloseKey(access.ownRoot);
        access.ownRoot = nullptr;
        access.root = nullptr;
    }
}

namespace {
bool UsesWin32(const RegistryAccess& access) { return access.ownRoot != nullptr; }
HKEY AsHkey(HANDLE key) { return static_cast<HKEY>(key); }
}

LONG StoreCreateKey(const RegistryAccess& access, HANDLE parent, LPCWSTR subKey, REGSAM desired,
                    HANDLE* key) noexcept
{
    *key = nullptr;
    if (UsesWin32(access)) {
        HKEY created = nullptr;
        const LONG status = RegCreateKeyExW(AsHkey(parent), subKey, 0, nullptr, 0, desired,
                                            nullptr, &created, nullptr);
        *key = created;
        return status;
    }
    if (access.callbacks.fpCreateKey == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpCreateKey(parent, subKey, 0, desired, nullptr, key, nullptr,
                                        access.spooler);
}

LONG StoreCloseKey(const RegistryAccess& access, HANDLE key) noexcept
{
    if (UsesWin32(access))
        return RegCloseKey(AsHkey(key));
    if (access.callbacks.fpCloseKey == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpCloseKey(key, access.spooler);
}

LONG StoreDeleteKey(const RegistryAccess& access, HANDLE parent, LPCWSTR subKey) noexcept
{
    if (UsesWin32(access))
        return RegDeleteKeyW(AsHkey(parent), subKey);
    if (access.callbacks.fpDeleteKey == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpDeleteKey(parent, subKey, access.spooler);
}

LONG StoreEnumKey(const RegistryAccess& access, HANDLE key, DWORD index, LPWSTR name,
                  DWORD* nameUnits) noexcept
{
    FILETIME lastWrite = {};
    if (UsesWin32(access))
        return RegEnumKeyExW(AsHkey(key), index, name, nameUnits, nullptr, nullptr, nullptr,
                             &lastWrite);
    if (access.callbacks.fpEnumKey == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpEnumKey(key, index, name, nameUnits, &lastWrite, access.spooler);
}

LONG StoreSetValue(const RegistryAccess& access, HANDLE key, LPCWSTR value, DWORD type,
                   const BYTE* data, DWORD bytes) noexcept
{
    if (UsesWin32(access))
        return RegSetValueExW(AsHkey(key), value, 0, type, data, bytes);
    if (access.callbacks.fpSetValue == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpSetValue(key, value, type, data, bytes, access.spooler);
}

LONG StoreQueryValue(const RegistryAccess& access, HANDLE key, LPCWSTR value, DWORD* type,
                     BYTE* data, DWORD* bytes) noexcept
{
    if (UsesWin32(access))
        return RegQueryValueExW(AsHkey(key), value, nullptr, type, data, bytes);
    if (access.callbacks.fpQueryValue == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return access.callbacks.fpQueryValue(key, value, type, data, bytes, access.spooler);
}
