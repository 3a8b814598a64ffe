#include "fake_spooler.h"

#include <cstring>

#include "monitor/spooler_host.h"

namespace {
FakeSpoolerHost* current = nullptr;
}

struct SpoolerFakes {
    static BOOL WINAPI OpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW)
    {
        SpoolerCall call{"OpenPrinter", name ? name : L"<null>"};
        if (!current->openPrinterResult) {
            current->Record(call);
            SetLastError(current->openPrinterError);
            return FALSE;
        }
        {
            std::lock_guard<std::mutex> lock(current->mutex_);
            *printer = reinterpret_cast<HANDLE>(current->nextPrinter_ += 4);
            ++current->openPrinters_;
        }
        call.handle = *printer;
        current->Record(call);
        return TRUE;
    }
    static BOOL WINAPI SetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command)
    {
        SpoolerCall call{"SetJob", L"", printer, jobId, level, command, job != nullptr};
        current->Record(call);
        return TRUE;
    }
    static BOOL WINAPI ClosePrinter(HANDLE printer)
    {
        SpoolerCall call{"ClosePrinter", L"", printer};
        current->Record(call);
        if (printer == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        std::lock_guard<std::mutex> lock(current->mutex_);
        --current->openPrinters_;
        return TRUE;
    }
    static HANDLE WINAPI Revert()
    {
        current->Record({"Revert", L"", current->revertToken});
        return current->revertToken;
    }
    static BOOL WINAPI Impersonate(HANDLE token)
    {
        current->Record({"Impersonate", L"", token});
        return TRUE;
    }
    static HMODULE WINAPI LoadLibrary(LPCWSTR path)
    {
        current->Record({"LoadLibrary", path ? path : L"<null>"});
        if (current->loadLibraryDelayMs != 0)
            Sleep(current->loadLibraryDelayMs);
        if (current->loadLibraryError != 0) {
            SetLastError(current->loadLibraryError);
            return nullptr;
        }
        return FakeSpoolerHost::FakeModule();
    }
    static BOOL WINAPI EnumPorts(LPWSTR, DWORD level, LPBYTE buffer, DWORD bytes, LPDWORD needed,
                                 LPDWORD returned);
    static FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR name)
    {
        std::wstring text;
        for (const char* c = name; c != nullptr && *c != '\0'; ++c)
            text += static_cast<wchar_t>(*c);
        current->Record({"GetProcAddress", text});
        if (current->getProcAddressError != 0) {
            SetLastError(current->getProcAddressError);
            return nullptr;
        }
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SpoolerFakes::EnumPorts));
    }
    static BOOL WINAPI FreeLibrary(HMODULE module)
    {
        current->Record({"FreeLibrary", L"", module});
        return TRUE;
    }
};

BOOL WINAPI SpoolerFakes::EnumPorts(LPWSTR, DWORD level, LPBYTE buffer, DWORD bytes,
                                    LPDWORD needed, LPDWORD returned)
{
    SpoolerCall call{"EnumPorts", L"", nullptr, 0, level};
    call.withData = buffer != nullptr;
    current->Record(call);
    if (current->duringEnumPorts)
        current->duringEnumPorts();
    if (buffer == nullptr && current->probeSucceeds) {
        *needed = 0;
        *returned = 0;
        return TRUE;
    }
    if (buffer == nullptr && current->probeError != 0) {
        SetLastError(current->probeError);
        return FALSE;
    }
    if (buffer != nullptr && current->fetchFails) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    DWORD size = 0;
    for (const auto& port : current->spoolerPorts)
        size += static_cast<DWORD>(sizeof(PORT_INFO_1W) + (port.size() + 1) * sizeof(wchar_t));
    *needed = size;
    if (buffer == nullptr || bytes < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* records = reinterpret_cast<PORT_INFO_1W*>(buffer);
    LPBYTE end = buffer + bytes;
    for (size_t i = 0; i < current->spoolerPorts.size(); ++i) {
        const auto& port = current->spoolerPorts[i];
        end -= (port.size() + 1) * sizeof(wchar_t);
        std::memcpy(end, port.c_str(), (port.size() + 1) * sizeof(wchar_t));
        records[i].pName = reinterpret_cast<LPWSTR>(end);
    }
    *returned = static_cast<DWORD>(current->spoolerPorts.size());
    return TRUE;
}

FakeSpoolerHost::FakeSpoolerHost()
{
    current = this;
    SpoolerHost = SpoolerHostOps{
        SpoolerFakes::OpenPrinter,    SpoolerFakes::SetJob,      SpoolerFakes::ClosePrinter,
        SpoolerFakes::Revert,         SpoolerFakes::Impersonate, SpoolerFakes::LoadLibrary,
        SpoolerFakes::GetProcAddress, SpoolerFakes::FreeLibrary,
    };
}

FakeSpoolerHost::~FakeSpoolerHost()
{
    SpoolerHost = RealSpoolerHost();
    current = nullptr;
}

void FakeSpoolerHost::Record(SpoolerCall call)
{
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
}

std::vector<SpoolerCall> FakeSpoolerHost::Calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<SpoolerCall> FakeSpoolerHost::CallsOf(const std::string& op) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<SpoolerCall> out;
    for (const auto& call : calls_)
        if (call.op == op)
            out.push_back(call);
    return out;
}

int FakeSpoolerHost::OpenPrinters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return openPrinters_;
}
