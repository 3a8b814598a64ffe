// Dotted address text to IPv4: every component is read as decimal, and no text longer than the
// 32-byte ANSI copy is ever converted.
#include <gtest/gtest.h>

#include <string>

#include "transport/address_text.h"
#include "win32.h"

namespace {

struct AddressRow {
    const char* input;
    const char* stripped;
};

const AddressRow kRows[] = {
    {"010.001.000.100", "10.1.0.100"},
    {"192.168.001.010", "192.168.1.10"},
    {"007.08.9.0010", "7.8.9.10"},
    {"00.00.00.00", "0.0.0.0"},
    {"0.0.0.0", "0.0.0.0"},
    {"255.255.255.255", "255.255.255.255"},
    {"0", "0"},
    {"00", "0"},
    {"000", "0"},
    {"0100", "100"},
    {"1.00", "1.0"},
    {"1.000.", "1.0."},
    {"1.01.", "1.1."},
    {"1..2", "1..2"},
    {".5", ".5"},
    {"01a.1", "1a.1"},
    {"0x1A.0.0.1", "x1A.0.0.1"},
    {" 01.2", " 01.2"},
    {"", ""},
};

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

TEST(AddressTextTest, StripsLeadingZerosOfEveryComponentAndParsesTheResult)
{
    for (const AddressRow& row : kRows) {
        char buffer[kAnsiAddressBytes] = {};
        std::string(row.input).copy(buffer, sizeof(buffer) - 1);
        EXPECT_EQ(NormalizeDottedAddress(buffer), TRUE) << row.input;
        EXPECT_STREQ(buffer, row.stripped) << row.input;

        const std::wstring text = Wide(row.input);
        EXPECT_EQ(AddressTextToIPv4(text.c_str(), text.size() + 1), inet_addr(row.stripped))
            << row.input;
    }
}

TEST(AddressTextTest, LeadingZerosAreDecimalWhereInetAddrAloneWouldReadOctal)
{
    const ULONG expected = htonl(0x7F00000A);  // 127.0.0.10
    EXPECT_EQ(AddressTextToIPv4(L"127.000.000.010", 20), expected);
    EXPECT_EQ(inet_addr("127.000.000.010"), htonl(0x7F000008));
    EXPECT_EQ(AddressTextToIPv4(L"0x1A.0.0.1", 20), INADDR_NONE);
}

TEST(AddressTextTest, ThirtyOneUnitsAreConvertedWholeAndThirtyTwoAreNoAddress)
{
    // Cut by one unit, the first text would name 127.0.0.1 instead of 127.0.0.12.
    const std::wstring fits = std::wstring(17, L'0') + L"127.000.000.12";
    ASSERT_EQ(fits.size(), kAnsiAddressBytes - 1);
    EXPECT_EQ(AddressTextToIPv4(fits.c_str(), 247), inet_addr("127.0.0.12"));

    const std::wstring tooLong = L"0" + fits;
    EXPECT_EQ(AddressTextToIPv4(tooLong.c_str(), 247), INADDR_NONE);
    const std::wstring configField(246, L'1');
    EXPECT_EQ(AddressTextToIPv4(configField.c_str(), 247), INADDR_NONE);
}

TEST(AddressTextTest, NeverReadsPastTheGivenCapacity)
{
    // The text ends right at a page nobody may read; it has no terminator within its bound.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    auto* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT,
                                                  PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));

    const wchar_t address[] = {'1', '2', '7', '.', '0', '.', '0', '.', '1'};
    auto* text = reinterpret_cast<wchar_t*>(pages + page) - std::size(address);
    std::copy(std::begin(address), std::end(address), text);
    EXPECT_EQ(AddressTextToIPv4(text, std::size(address)), INADDR_NONE);

    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(AddressTextTest, NonAsciiTextIsNoAddressAndStaysInsideTheBuffer)
{
    EXPECT_EQ(AddressTextToIPv4(L"127.0.0.\x00e9", 20), INADDR_NONE);
    const std::wstring wide(31, L'\x4e2d');
    EXPECT_EQ(AddressTextToIPv4(wide.c_str(), 247), INADDR_NONE);
}

}  // namespace
