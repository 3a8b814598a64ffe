#include "debug_output.h"

DebugOutputFunction DebugOutput = ::OutputDebugStringW;

void Diagnose(LPCWSTR text) noexcept
{
    const DWORD error = GetLastError();
    DebugOutput(text);
    SetLastError(error);
}
