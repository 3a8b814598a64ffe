// Where WritePort's diagnostics go: the debugger, through OutputDebugStringW. The texts carry no
// prefix, level or time stamp.
#pragma once

#include "../win32.h"

using DebugOutputFunction = void(WINAPI*)(LPCWSTR text);

// The function in use. Only tests point it elsewhere, and only while no monitor call runs.
extern DebugOutputFunction DebugOutput;

// Writes one diagnostic through DebugOutput, keeping the thread's last error: the caller of a
// failed WritePort reads the socket's own reason, not what writing the text left behind.
void Diagnose(LPCWSTR text) noexcept;
