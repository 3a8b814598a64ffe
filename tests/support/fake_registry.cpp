#include "fake_registry.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <mutex>

namespace {

// The spooler may call back from several threads at once (Xcv commands run on the client's
// thread): one call at a time keeps the fake's maps and log whole.
std::mutex callbackMutex;

int CompareNoCase(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str());
}

std::vector<std::wstring> SplitPath(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::wstring JoinPath(const std::wstring& parent, const std::wstring& child)
{
    if (parent.empty())
        return child;
    if (child.empty())
        return parent;
    return parent + L"\\" + child;
}

}  // namespace

struct FakeRegistry::Key {
    std::wstring name;
    std::vector<std::pair<std::wstring, RegistryValue>> values;
    std::vector<std::unique_ptr<Key>> children;  // kept sorted without regard to case

    // Children are sorted, so lookups are binary searches (start-up benchmarks store
    // thousands of ports).
    std::vector<std::unique_ptr<Key>>::const_iterator LowerBound(const std::wstring& childName) const
    {
        return std::lower_bound(children.begin(), children.end(), childName,
                                [](const std::unique_ptr<Key>& c, const std::wstring& n) {
                                    return CompareNoCase(c->name, n) < 0;
                                });
    }
    Key* Child(const std::wstring& childName) const
    {
        auto it = LowerBound(childName);
        if (it != children.end() && CompareNoCase((*it)->name, childName) == 0)
            return it->get();
        return nullptr;
    }
    Key* AddChild(const std::wstring& childName)
    {
        auto key = std::make_unique<Key>();
        key->name = childName;
        const auto at = children.begin() + (LowerBound(childName) - children.begin());
        return children.insert(at, std::move(key))->get();
    }
    RegistryValue* FindValue(const std::wstring& valueName)
    {
        for (auto& [n, v] : values)
            if (CompareNoCase(n, valueName) == 0)
                return &v;
        return nullptr;
    }
};

// The MONITORREG callbacks. hSpooler, their last argument, is the FakeRegistry itself.
struct RegistryCallbacks {
    static FakeRegistry* Of(HANDLE spooler) { return reinterpret_cast<FakeRegistry*>(spooler); }

    // Logs the call and answers an injected fault, if one applies (else 0).
    static LONG Begin(FakeRegistry* reg, RegistryCall call, size_t* logIndex)
    {
        ++reg->callCount_;
        LONG fault = 0;
        if (reg->failAt_ != 0 && reg->callCount_ == reg->failAt_)
            fault = reg->failAtCode_;
        for (const auto& f : reg->faults_)
            if (f.callback == call.callback && (f.name.empty() || CompareNoCase(f.name, call.name) == 0))
                fault = f.code;
        call.result = fault;
        reg->calls.push_back(call);
        *logIndex = reg->calls.size() - 1;
        return fault;
    }
    static LONG End(FakeRegistry* reg, size_t logIndex, LONG result)
    {
        reg->calls[logIndex].result = result;
        return result;
    }
    static bool PathOf(FakeRegistry* reg, HANDLE key, std::wstring* path)
    {
        if (key == FakeRegistry::RootHandle()) {
            path->clear();
            return true;
        }
        auto it = reg->handles_.find(key);
        if (it == reg->handles_.end())
            return false;
        *path = it->second;
        return true;
    }
    static std::wstring LoggedPath(FakeRegistry* reg, HANDLE key)
    {
        std::wstring path;
        if (!PathOf(reg, key, &path))
            return L"<bad handle>";
        return path;
    }

    static LONG WINAPI CreateKey(HANDLE parent, LPCWSTR subKey, DWORD, REGSAM access,
                                 PSECURITY_ATTRIBUTES, PHANDLE result, PDWORD, HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"CreateKey", LoggedPath(reg, parent), subKey ? subKey : L"", access};
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        std::wstring path;
        if (!PathOf(reg, parent, &path))
            return End(reg, log, ERROR_INVALID_HANDLE);
        path = JoinPath(path, subKey ? subKey : L"");
        reg->Make(path);
        HANDLE handle = reinterpret_cast<HANDLE>(reg->nextHandle_ += 4);
        reg->handles_[handle] = path;
        *result = handle;
        return End(reg, log, ERROR_SUCCESS);
    }

    static LONG WINAPI CloseKey(HANDLE key, HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"CloseKey", LoggedPath(reg, key), L""};
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        if (reg->handles_.erase(key) == 0)
            return End(reg, log, ERROR_INVALID_HANDLE);
        return End(reg, log, ERROR_SUCCESS);
    }

    static LONG WINAPI DeleteKey(HANDLE parent, LPCWSTR subKey, HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"DeleteKey", LoggedPath(reg, parent), subKey ? subKey : L""};
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        std::wstring path;
        if (!PathOf(reg, parent, &path))
            return End(reg, log, ERROR_INVALID_HANDLE);
        FakeRegistry::Key* key = reg->Find(path);
        if (key == nullptr)
            return End(reg, log, ERROR_FILE_NOT_FOUND);
        auto& children = key->children;
        auto it = std::find_if(children.begin(), children.end(), [&](const auto& c) {
            return CompareNoCase(c->name, subKey) == 0;
        });
        if (it == children.end())
            return End(reg, log, ERROR_FILE_NOT_FOUND);
        if (!(*it)->children.empty())
            return End(reg, log, ERROR_ACCESS_DENIED);
        children.erase(it);
        return End(reg, log, ERROR_SUCCESS);
    }

    static LONG WINAPI EnumKey(HANDLE key, DWORD index, LPWSTR name, PDWORD units, PFILETIME,
                               HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"EnumKey", LoggedPath(reg, key), std::to_wstring(index)};
        call.bytes = *units;
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        std::wstring path;
        if (!PathOf(reg, key, &path))
            return End(reg, log, ERROR_INVALID_HANDLE);
        FakeRegistry::Key* k = reg->Find(path);
        if (k == nullptr)
            return End(reg, log, ERROR_FILE_NOT_FOUND);
        if (index >= k->children.size())
            return End(reg, log, ERROR_NO_MORE_ITEMS);
        const std::wstring& child = k->children[index]->name;
        if (child.size() + 1 > *units)
            return End(reg, log, ERROR_MORE_DATA);
        std::memcpy(name, child.c_str(), (child.size() + 1) * sizeof(wchar_t));
        *units = static_cast<DWORD>(child.size());
        return End(reg, log, ERROR_SUCCESS);
    }

    static LONG WINAPI SetValue(HANDLE key, LPCWSTR valueName, DWORD type, const BYTE* data,
                                DWORD bytes, HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"SetValue", LoggedPath(reg, key), valueName ? valueName : L"", 0, type,
                          bytes};
        call.withBuffer = data != nullptr;
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        std::wstring path;
        if (!PathOf(reg, key, &path))
            return End(reg, log, ERROR_INVALID_HANDLE);
        reg->SetValue(path, valueName ? valueName : L"", type, data, bytes);
        return End(reg, log, ERROR_SUCCESS);
    }

    static LONG WINAPI QueryValue(HANDLE key, LPCWSTR valueName, PDWORD type, PBYTE data,
                                  PDWORD bytes, HANDLE spooler)
    {
        std::lock_guard<std::mutex> serialized(callbackMutex);
        FakeRegistry* reg = Of(spooler);
        size_t log;
        RegistryCall call{"QueryValue", LoggedPath(reg, key), valueName ? valueName : L""};
        call.bytes = bytes ? *bytes : 0;
        call.withBuffer = data != nullptr;
        call.type = type ? *type : 0;
        call.spooler = spooler;
        if (LONG fault = Begin(reg, call, &log))
            return fault;
        std::wstring path;
        if (!PathOf(reg, key, &path))
            return End(reg, log, ERROR_INVALID_HANDLE);
        FakeRegistry::Key* k = reg->Find(path);
        RegistryValue* value = k ? k->FindValue(valueName ? valueName : L"") : nullptr;
        if (value == nullptr)
            return End(reg, log, ERROR_FILE_NOT_FOUND);
        if (type != nullptr)
            *type = value->type;
        const DWORD size = static_cast<DWORD>(value->data.size());
        if (data == nullptr) {
            *bytes = size;
            return End(reg, log, ERROR_SUCCESS);
        }
        if (*bytes < size) {
            *bytes = size;
            return End(reg, log, ERROR_MORE_DATA);
        }
        std::memcpy(data, value->data.data(), size);
        *bytes = size;
        return End(reg, log, ERROR_SUCCESS);
    }
};

FakeRegistry::FakeRegistry() : root_(std::make_unique<Key>())
{
    callbacks_.cbSize = sizeof(MONITORREG);
    callbacks_.fpCreateKey = RegistryCallbacks::CreateKey;
    callbacks_.fpCloseKey = RegistryCallbacks::CloseKey;
    callbacks_.fpDeleteKey = RegistryCallbacks::DeleteKey;
    callbacks_.fpEnumKey = RegistryCallbacks::EnumKey;
    callbacks_.fpSetValue = RegistryCallbacks::SetValue;
    callbacks_.fpQueryValue = RegistryCallbacks::QueryValue;
    // Never called by the monitor: left NULL so that a call would crash the test.
}

FakeRegistry::~FakeRegistry() = default;

MONITORINIT FakeRegistry::Init()
{
    MONITORINIT init = {};
    init.cbSize = sizeof(MONITORINIT);
    init.hSpooler = Spooler();
    init.hckRegistryRoot = static_cast<decltype(init.hckRegistryRoot)>(RootHandle());
    init.pMonitorReg = &callbacks_;
    init.bLocal = TRUE;
    return init;
}

FakeRegistry::Key* FakeRegistry::Find(const std::wstring& path) const
{
    Key* key = root_.get();
    for (const auto& part : SplitPath(path)) {
        key = key->Child(part);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

FakeRegistry::Key* FakeRegistry::Make(const std::wstring& path)
{
    Key* key = root_.get();
    for (const auto& part : SplitPath(path)) {
        Key* child = key->Child(part);
        key = child ? child : key->AddChild(part);
    }
    return key;
}

void FakeRegistry::CreateKey(const std::wstring& path)
{
    Make(path);
}

void FakeRegistry::SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                            const void* data, size_t bytes)
{
    Key* key = Make(path);
    RegistryValue value;
    value.type = type;
    const BYTE* begin = static_cast<const BYTE*>(data);
    if (bytes != 0)
        value.data.assign(begin, begin + bytes);
    if (RegistryValue* existing = key->FindValue(name))
        *existing = value;
    else
        key->values.emplace_back(name, value);
}

void FakeRegistry::SetString(const std::wstring& path, const std::wstring& name,
                             const std::wstring& text)
{
    SetValue(path, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void FakeRegistry::SetDword(const std::wstring& path, const std::wstring& name, DWORD value)
{
    SetValue(path, name, REG_DWORD, &value, sizeof(value));
}

bool FakeRegistry::HasKey(const std::wstring& path) const
{
    return Find(path) != nullptr;
}

std::optional<RegistryValue> FakeRegistry::Value(const std::wstring& path,
                                                 const std::wstring& name) const
{
    Key* key = Find(path);
    if (key == nullptr)
        return std::nullopt;
    RegistryValue* value = key->FindValue(name);
    if (value == nullptr)
        return std::nullopt;
    return *value;
}

std::wstring FakeRegistry::StringValue(const std::wstring& path, const std::wstring& name) const
{
    auto value = Value(path, name);
    if (!value)
        return L"<missing>";
    std::wstring text;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        wchar_t unit;
        std::memcpy(&unit, &value->data[i], 2);
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

std::vector<std::wstring> FakeRegistry::SubKeys(const std::wstring& path) const
{
    std::vector<std::wstring> names;
    if (Key* key = Find(path))
        for (const auto& child : key->children)
            names.push_back(child->name);
    return names;
}

void FakeRegistry::FailNthCall(size_t k, LONG code)
{
    failAt_ = callCount_ + k;
    failAtCode_ = code;
}

void FakeRegistry::FailCallback(const std::string& callback, LONG code, const std::wstring& name)
{
    faults_.push_back({callback, name, code});
}

void FakeRegistry::ClearFaults()
{
    faults_.clear();
    failAt_ = 0;
}

std::vector<RegistryCall> FakeRegistry::CallsOf(const std::string& callback) const
{
    std::vector<RegistryCall> out;
    for (const auto& call : calls)
        if (call.callback == callback)
            out.push_back(call);
    return out;
}
