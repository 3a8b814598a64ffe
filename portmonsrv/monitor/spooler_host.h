// The spooler operations the monitor calls back, reached through one table so that a test can
// put fakes in their place. Bound to the real winspool and spoolss functions by default.
#pragma once

#include "../win32.h"

struct SpoolerHostOps {
    BOOL(WINAPI* openPrinter)(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
    BOOL(WINAPI* setJob)(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
    BOOL(WINAPI* closePrinter)(HANDLE printer);
    HANDLE(WINAPI* revertToPrinterSelf)();
    BOOL(WINAPI* impersonatePrinterClient)(HANDLE token);
    // EnumPortsW lives in the spooler library, which is loaded from the system directory at run
    // time: these three are the loader calls used for it.
    HMODULE(WINAPI* loadLibrary)(LPCWSTR path);
    FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name);
    BOOL(WINAPI* freeLibrary)(HMODULE module);
};

// The table in use. Only tests change it, and only while no monitor call runs.
extern SpoolerHostOps SpoolerHost;

// The table bound to the real functions, to restore after a test.
SpoolerHostOps RealSpoolerHost() noexcept;
