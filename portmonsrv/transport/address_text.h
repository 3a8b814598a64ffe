// Dotted address text to IPv4 address, reading every component as decimal: leading zeros are
// stripped before inet_addr, which would otherwise take "010" as octal.
#pragma once

#include <cstddef>

#include "../win32.h"

// Size of the ANSI copy of an address: 31 characters and the terminator.
inline constexpr size_t kAnsiAddressBytes = 32;

// The IPv4 address (network byte order) of the dotted text, exactly as inet_addr returns it for
// the stripped text; INADDR_NONE when it is no address. `capacity` bounds the read in units: a
// text without a terminator within it, or of 32 or more units, is no address (a cut text is
// never connected to).
ULONG AddressTextToIPv4(const wchar_t* text, size_t capacity) noexcept;

// Drops the leading zeros of every dotted component in place, keeping one '0' for a component
// of zeros. Only '0' is ever dropped. Always TRUE.
BOOL NormalizeDottedAddress(char* text) noexcept;
