// The Windows headers the monitor needs, in the order they must come in.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

// winspool.h maps EnumPorts to EnumPortsW; the monitor's own EnumPorts entry point keeps its
// name, and the spooler's function is always called as EnumPortsW.
#undef EnumPorts
