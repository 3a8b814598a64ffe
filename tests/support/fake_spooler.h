// Fake spooler operations: replaces the monitor's SpoolerHost table for the lifetime of the
// object, records every call and lets a test choose the answers.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "win32.h"

struct SpoolerCall {
    std::string op;            // "OpenPrinter", "SetJob", "ClosePrinter", "Revert", "Impersonate",
                               // "LoadLibrary", "GetProcAddress", "FreeLibrary", "EnumPorts"
    std::wstring text;         // printer name (NULL -> "<null>"), library path, entry name
    HANDLE handle = nullptr;   // printer handle or token
    DWORD jobId = 0;
    DWORD level = 0;
    DWORD command = 0;
    bool withData = false;     // SetJob: a job record was passed; EnumPorts: a buffer was passed
};

class FakeSpoolerHost {
public:
    FakeSpoolerHost();
    ~FakeSpoolerHost();
    FakeSpoolerHost(const FakeSpoolerHost&) = delete;
    FakeSpoolerHost& operator=(const FakeSpoolerHost&) = delete;

    std::vector<SpoolerCall> Calls() const;
    std::vector<SpoolerCall> CallsOf(const std::string& op) const;
    // Printer handles opened and not closed again.
    int OpenPrinters() const;

    // Answers.
    BOOL openPrinterResult = TRUE;
    DWORD openPrinterError = ERROR_INVALID_PRINTER_NAME;
    HANDLE revertToken = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x70C3));

    // The spooler library and its EnumPortsW.
    DWORD loadLibraryError = 0;     // nonzero: the library cannot be loaded
    DWORD getProcAddressError = 0;  // nonzero: EnumPortsW cannot be resolved
    std::vector<std::wstring> spoolerPorts;  // what EnumPortsW lists
    bool probeSucceeds = false;     // the size probe succeeds (as if nothing were listed)
    DWORD probeError = 0;           // nonzero: the size probe fails with this (not 122)
    bool fetchFails = false;        // the second EnumPortsW fails
    DWORD loadLibraryDelayMs = 0;   // the library load takes this long (widens first-use races)
    std::function<void()> duringEnumPorts;  // runs inside every EnumPortsW call, if set

    static HMODULE FakeModule() { return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x5D11)); }

private:
    friend struct SpoolerFakes;
    void Record(SpoolerCall call);
    mutable std::mutex mutex_;
    std::vector<SpoolerCall> calls_;
    int openPrinters_ = 0;
    ULONG_PTR nextPrinter_ = 0xB000;
};
