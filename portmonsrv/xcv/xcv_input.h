// Bounded views of a client's Xcv input: nothing past the bytes the client declared is read.
#pragma once

#include <cstddef>
#include <string_view>

#include "../win32.h"

// The UTF-16 text at the start of the input, without its terminator. FALSE when the input is
// missing or empty, or holds no terminator within its whole units.
inline bool ReadTextInput(const BYTE* input, DWORD inputBytes, std::wstring_view* text) noexcept
{
    if (input == nullptr || inputBytes < sizeof(wchar_t))
        return false;
    const auto* units = reinterpret_cast<const wchar_t*>(input);
    const size_t capacity = inputBytes / sizeof(wchar_t);
    for (size_t i = 0; i < capacity; ++i) {
        if (units[i] == L'\0') {
            *text = std::wstring_view(units, i);
            return true;
        }
    }
    return false;
}
