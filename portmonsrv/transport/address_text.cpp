#include "address_text.h"

#include "../monitor/port_table.h"

BOOL NormalizeDottedAddress(char* text) noexcept
{
    char* write = text;
    bool atComponentStart = true;
    for (const char* read = text; *read != '\0'; ++read) {
        const char c = *read;
        if (atComponentStart && c == '0' && read[1] != '\0' && read[1] != '.') {
            // dropped; still at the start of the component
        } else {
            *write++ = c;
            atComponentStart = false;
        }
        if (c == '.')
            atComponentStart = true;
    }
    *write = '\0';
    return TRUE;
}

ULONG AddressTextToIPv4(const wchar_t* text, size_t capacity) noexcept
{
    const size_t units = BoundedLength(text, capacity);
    if (units >= capacity || units >= kAnsiAddressBytes)
        return INADDR_NONE;

    char ansi[kAnsiAddressBytes] = {};
    if (units > 0) {
        const int bytes = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), ansi,
                                              static_cast<int>(kAnsiAddressBytes - 1), nullptr,
                                              nullptr);
        if (bytes <= 0)
            return INADDR_NONE;
    }
    ansi[units] = '\0';
    NormalizeDottedAddress(ansi);
    return inet_addr(ansi);
}
