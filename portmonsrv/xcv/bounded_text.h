// Appending to a fixed UTF-16 buffer without ever writing past it or leaving it cut.
#pragma once

#include <cstddef>
#include <cstring>

#include "../monitor/port_table.h"

// Appends `text` (terminated) to the terminated text in `buffer`, which holds `capacity` units.
// FALSE, with the buffer unchanged, when the buffer has no terminator within its capacity or the
// result with its terminator would not fit: a caller never goes on with a cut text.
inline bool AppendBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) noexcept
{
    const size_t used = BoundedLength(buffer, capacity);
    if (used >= capacity)
        return false;
    const size_t room = capacity - used;  // units left, terminator included
    const size_t length = BoundedLength(text, room);
    if (length >= room)
        return false;
    std::memcpy(buffer + used, text, length * sizeof(wchar_t));
    buffer[used + length] = L'\0';
    return true;
}
