// An in-memory registry behind the MONITORREG callbacks, as a spooler offers them to a monitor:
// create opens or creates, enumeration runs in order and answers 259 past the end and 234 when a
// name does not fit, value queries without a buffer return the size, values keep their type.
// Every call is logged, and any call can be made to fail.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win32.h"

struct RegistryCall {
    std::string callback;   // "CreateKey", "CloseKey", "DeleteKey", "EnumKey", "SetValue", "QueryValue"
    std::wstring keyPath;   // path of the key handle the call got ("" for the root)
    std::wstring name;      // subkey or value name; the index as text for EnumKey
    DWORD access = 0;       // CreateKey
    DWORD type = 0;         // SetValue: the type written
    DWORD bytes = 0;        // SetValue: bytes written; QueryValue: the size handed in
    bool withBuffer = false;// QueryValue: a data buffer was given
    HANDLE spooler = nullptr;
    LONG result = 0;
};

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class FakeRegistry {
public:
    FakeRegistry();
    ~FakeRegistry();
    FakeRegistry(const FakeRegistry&) = delete;
    FakeRegistry& operator=(const FakeRegistry&) = delete;

    // A MONITORINIT for this registry: hSpooler identifies it, hckRegistryRoot is its root.
    MONITORINIT Init();
    const MONITORREG* Callbacks() const { return &callbacks_; }
    HANDLE Spooler() const { return reinterpret_cast<HANDLE>(const_cast<FakeRegistry*>(this)); }

    // Direct access for arranging and checking (paths below the root, "\\"-separated).
    void CreateKey(const std::wstring& path);
    void SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                  const void* data, size_t bytes);
    void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
    void SetDword(const std::wstring& path, const std::wstring& name, DWORD value);
    bool HasKey(const std::wstring& path) const;
    std::optional<RegistryValue> Value(const std::wstring& path, const std::wstring& name) const;
    std::wstring StringValue(const std::wstring& path, const std::wstring& name) const;
    std::vector<std::wstring> SubKeys(const std::wstring& path) const;

    // Faults: the k-th call from now on (1-based), or every call of one callback (optionally
    // only for one subkey/value name), fails with `code`.
    void FailNthCall(size_t k, LONG code);
    void FailCallback(const std::string& callback, LONG code, const std::wstring& name = L"");
    void ClearFaults();

    std::vector<RegistryCall> calls;
    std::vector<RegistryCall> CallsOf(const std::string& callback) const;
    size_t OpenKeys() const { return handles_.size(); }

private:
    struct Key;
    Key* Find(const std::wstring& path) const;
    Key* Make(const std::wstring& path);
    friend struct RegistryCallbacks;

    std::unique_ptr<Key> root_;
    std::map<HANDLE, std::wstring> handles_;
    ULONG_PTR nextHandle_ = 0x1000;
    MONITORREG callbacks_ = {};

    struct Fault { std::string callback; std::wstring name; LONG code; };
    std::vector<Fault> faults_;
    size_t failAt_ = 0;
    LONG failAtCode_ = 0;
    size_t callCount_ = 0;

public:
    static HANDLE RootHandle() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x77)); }
};
