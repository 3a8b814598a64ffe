// What "PortExists" and "PortIsValid" are built on: the spooler's own list of ports, reached
// through EnumPortsW of the spooler library in the system directory, and the test connection.
#pragma once

#include "../win32.h"

// Whether the spooler lists a port of this name, letter case ignored. TRUE also when the list
// cannot be read in full (it may hold the name). FALSE when it is not listed, and FALSE with
// `*loadError` set (the loader's last error) when the spooler library or its EnumPortsW cannot
// be loaded; `*loadError` is 0 otherwise. Takes no lock of the monitor while EnumPortsW runs.
BOOL SpoolerHasPort(LPCWSTR name, DWORD* loadError) noexcept;

// Loads `fileName` from the system directory (never from the search path): NULL, with the last
// error set, when the directory cannot be had or the full path would not fit MAX_PATH.
HMODULE LoadSystemSpooler(LPCWSTR fileName) noexcept;

// Tests only: empties the process-wide spooler library cache so that the next query loads the
// library again through SpoolerHost. The module is not released. No query may be running.
void ForgetSpoolerLibrary() noexcept;

// Tests only: when set, sees the socket of every "PortIsValid" test connection after its closing
// linger is applied and just before it is closed.
extern void (*TestConnectionClosing)(SOCKET socket) noexcept;
