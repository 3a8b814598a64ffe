// What the spooler settings commands are built on: the spooler-wide transmission retry time-out
// in the system registry and the system's default communication settings.
#pragma once

#include "../win32.h"

// Where the retry time-out lives, below HKEY_LOCAL_MACHINE, as a REG_SZ decimal number.
inline constexpr wchar_t kRetryTimeoutKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr wchar_t kRetryTimeoutValue[] = L"TransmissionRetryTimeout";
// Stands in for a time-out that is missing or cannot be read as a number.
inline constexpr DWORD kDefaultRetryTimeout = 45;

// Reads the retry time-out from the registry into `*timeout`; 45 whenever it cannot be used.
void ReadTransmissionRetryTimeout(DWORD* timeout) noexcept;

// A copy of the terminated text in a block from ZeroedAlloc (free it with FreeBlock); NULL for no
// text, or when memory runs out (the allocator's last error stands).
wchar_t* DuplicateWideString(const wchar_t* text) noexcept;

// The system call that "SetDefaultCommConfig" makes: SetDefaultCommConfigW, or a test's fake.
using SetDefaultCommConfigFunction = BOOL(WINAPI*)(LPCWSTR device, LPCOMMCONFIG config, DWORD bytes);
extern SetDefaultCommConfigFunction SystemSetDefaultCommConfig;
