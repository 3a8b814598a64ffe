// The spooler settings commands: the retry time-out in the real HKEY_LOCAL_MACHINE of the Wine
// prefix (put back as it was afterwards), default communication settings through a fake of the
// system call, and the user-interface library's name.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "monitor/alloc.h"
#include "xcv/commands.h"
#include "xcv/settings_commands.h"
#include "xcv/xcv_entry.h"
#include "guard_page.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

XcvEntry MakeXcv(ACCESS_MASK access, const wchar_t* objectName = L"")
{
    XcvEntry xcv = {};
    xcv.grantedAccess = access;
    xcv.objectName = const_cast<wchar_t*>(objectName);
    return xcv;
}

const BYTE* Bytes(const std::wstring& text) { return reinterpret_cast<const BYTE*>(text.c_str()); }
DWORD TextBytes(const std::wstring& text)
{
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

// ---- "MonitorUI" ----

TEST(MonitorUiTest, NamesTheUserInterfaceLibraryInTwentySixBytes)
{
    XcvEntry reader = MakeXcv(0);
    GuardPage guarded;
    const wchar_t expected[] = L"vxaPM64U.dll";
    static_assert(sizeof(expected) == 26);

    BYTE small[25];
    std::memset(small, 0xCC, sizeof(small));
    DWORD needed = kSentinel;
    EXPECT_EQ(MonitorUiCommand(nullptr, 0, small, sizeof(small), &needed, &reader),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 26u);
    EXPECT_EQ(small[0], 0xCC);

    BYTE* exact = guarded.Tail(26);
    needed = kSentinel;
    EXPECT_EQ(MonitorUiCommand(nullptr, 0, exact, 26, &needed, &reader), 0u);
    EXPECT_EQ(needed, 26u);
    EXPECT_EQ(std::memcmp(exact, expected, 26), 0);

    BYTE roomy[40];
    std::memset(roomy, 0xCC, sizeof(roomy));
    EXPECT_EQ(MonitorUiCommand(nullptr, 0, roomy, sizeof(roomy), &needed, &reader), 0u);
    EXPECT_EQ(std::memcmp(roomy, expected, 26), 0);
    for (size_t i = 26; i < sizeof(roomy); ++i)
        EXPECT_EQ(roomy[i], 0xCC) << "byte " << i;
}

// ---- The retry time-out in the system registry ----

// The retry time-out's key and value as the prefix had them: the value is put back (or removed)
// at the end, and the parts of the key path that the prefix lacked are created for the test and
// removed again.
class RetryTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring path = kRetryTimeoutKey;
        for (size_t end = 0; end != std::wstring::npos;) {
            end = path.find(L'\\', end + 1);
            const std::wstring part = path.substr(0, end);
            HKEY probe = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, part.c_str(), 0, KEY_READ, &probe) == 0) {
                RegCloseKey(probe);
            } else {
                created_.push_back(part);
            }
        }
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRetryTimeoutKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  0);
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExW(key_, kRetryTimeoutValue, nullptr, &type, nullptr, &bytes) == 0) {
            saved_.emplace(bytes);
            savedType_ = type;
            ASSERT_EQ(RegQueryValueExW(key_, kRetryTimeoutValue, nullptr, &type, saved_->data(),
                                       &bytes),
                      0);
        }
        RegDeleteValueW(key_, kRetryTimeoutValue);
        blocksBefore_ = OutstandingBlocks();
    }

    void TearDown() override
    {
        EXPECT_EQ(OutstandingBlocks(), blocksBefore_);
        if (key_ != nullptr) {
            if (saved_)
                Store(savedType_, saved_->data(), static_cast<DWORD>(saved_->size()));
            else
                RegDeleteValueW(key_, kRetryTimeoutValue);
            RegCloseKey(key_);
        }
        for (auto part = created_.rbegin(); part != created_.rend(); ++part)
            EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, part->c_str()), 0) << "removing";
    }

    // Stores exactly `bytes` of `data`: the copy is followed by a non-zero unit, since the
    // registry quietly adds a terminator to a REG_SZ whose next unit in memory is zero.
    void Store(DWORD type, const void* data, DWORD bytes)
    {
        std::vector<BYTE> copy(bytes + sizeof(wchar_t), 0xFF);
        std::memcpy(copy.data(), data, bytes);
        ASSERT_EQ(RegSetValueExW(key_, kRetryTimeoutValue, 0, type, copy.data(), bytes), 0);
        DWORD stored = 0;
        ASSERT_EQ(RegQueryValueExW(key_, kRetryTimeoutValue, nullptr, nullptr, nullptr, &stored), 0);
        ASSERT_EQ(stored, bytes);
    }
    void StoreText(const std::wstring& text, bool terminated = true)
    {
        Store(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + terminated) * sizeof(wchar_t)));
    }

    // The value as it is stored now; nullopt when there is none.
    std::optional<std::wstring> StoredText()
    {
        DWORD type = 0;
        wchar_t data[64] = {};
        DWORD bytes = sizeof(data) - sizeof(wchar_t);
        if (RegQueryValueExW(key_, kRetryTimeoutValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(data), &bytes) != 0)
            return std::nullopt;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        return std::wstring(data, bytes / sizeof(wchar_t));
    }

    // "GetTransmissionRetryTimeout", which always succeeds with 4 bytes of output.
    DWORD ReadTimeout()
    {
        XcvEntry reader = MakeXcv(0);
        DWORD timeout = kSentinel;
        DWORD needed = kSentinel;
        EXPECT_EQ(GetTransmissionRetryTimeoutCommand(nullptr, 0, reinterpret_cast<BYTE*>(&timeout),
                                                     sizeof(timeout), &needed, &reader),
                  0u);
        EXPECT_EQ(needed, 4u);
        return timeout;
    }

    DWORD Configure(const std::wstring& text, ACCESS_MASK access = SERVER_ACCESS_ADMINISTER)
    {
        XcvEntry xcv = MakeXcv(access);
        return ConfigureLptPortCommand(Bytes(text), TextBytes(text), nullptr, 0, nullptr, &xcv);
    }

    bool KeyCreatedHere() const { return !created_.empty(); }
    void CloseAndRemoveKey()
    {
        RegCloseKey(key_);
        key_ = nullptr;
        ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRetryTimeoutKey), 0);
    }
    void RecreateKey()
    {
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRetryTimeoutKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  0);
    }

private:
    HKEY key_ = nullptr;
    std::vector<std::wstring> created_;  // key paths made for the test, parents first
    std::optional<std::vector<BYTE>> saved_;
    DWORD savedType_ = 0;
    LONG blocksBefore_ = 0;
};

TEST_F(RetryTimeoutTest, AMissingValueReadsAs45)
{
    EXPECT_EQ(ReadTimeout(), 45u);
}

TEST_F(RetryTimeoutTest, TheTextIsScannedAsAnUnsignedDecimalNumber)
{
    struct Case {
        const wchar_t* text;
        DWORD timeout;
    };
    const Case cases[] = {
        {L"30", 30},          {L" 30", 30},        {L"\t 30", 30},
        {L"30abc", 30},       {L"0030", 30},       {L"abc", 45},
        {L"", 45},            {L"0", 0},           {L"4294967295", 4294967295u},
        {L"1234567", 1234567},  // 16 bytes: more than the first read takes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.text)));
        StoreText(c.text);
        EXPECT_EQ(ReadTimeout(), c.timeout);
    }
}

TEST_F(RetryTimeoutTest, OnlyAStringValueIsRead)
{
    const DWORD number = 30;
    Store(REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(ReadTimeout(), 45u);
    const wchar_t text[] = L"30";
    Store(REG_EXPAND_SZ, text, sizeof(text));
    EXPECT_EQ(ReadTimeout(), 45u);
    Store(REG_BINARY, text, sizeof(text));
    EXPECT_EQ(ReadTimeout(), 45u);
}

TEST_F(RetryTimeoutTest, TheTextEndsAtTheLastWholeUnitOfTheReadCapacity)
{
    // Five digits without a terminator fill the first 10-byte read exactly; the last unit gives
    // way to the terminator.
    StoreText(L"12345", false);
    EXPECT_EQ(ReadTimeout(), 1234u);
    // Six digits without a terminator take a second read of 12 bytes: again one digit less.
    StoreText(L"123456", false);
    EXPECT_EQ(ReadTimeout(), 12345u);
    // Four digits without a terminator fit with room to spare.
    StoreText(L"1234", false);
    EXPECT_EQ(ReadTimeout(), 1234u);
}

TEST_F(RetryTimeoutTest, AShortOutputAsksForFourBytes)
{
    StoreText(L"30");
    XcvEntry reader = MakeXcv(0);
    BYTE output[3] = {0xCC, 0xCC, 0xCC};
    DWORD needed = kSentinel;
    EXPECT_EQ(GetTransmissionRetryTimeoutCommand(nullptr, 0, output, sizeof(output), &needed,
                                                 &reader),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(output[0], 0xCC);

    GuardPage guarded;
    BYTE* exact = guarded.Tail(sizeof(DWORD));
    EXPECT_EQ(GetTransmissionRetryTimeoutCommand(nullptr, 0, exact, sizeof(DWORD), &needed, &reader),
              0u);
    DWORD timeout = 0;
    std::memcpy(&timeout, exact, sizeof(timeout));
    EXPECT_EQ(timeout, 30u);
}

TEST_F(RetryTimeoutTest, ConfigureStoresTheTextAsItComes)
{
    EXPECT_EQ(Configure(L"60"), 0u);
    EXPECT_EQ(StoredText(), std::wstring(L"60", 3));
    EXPECT_EQ(ReadTimeout(), 60u);

    EXPECT_EQ(Configure(L"abc"), 0u);
    EXPECT_EQ(StoredText(), std::wstring(L"abc", 4));
    EXPECT_EQ(ReadTimeout(), 45u);
}

TEST_F(RetryTimeoutTest, ConfigureNeedsTheAdministerRight)
{
    StoreText(L"30");
    EXPECT_EQ(Configure(L"60", 0), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Configure(L"60", SERVER_ACCESS_ENUMERATE), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const std::wstring text = L"60";
    EXPECT_EQ(ConfigureLptPortCommand(Bytes(text), TextBytes(text), nullptr, 0, nullptr, nullptr),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(StoredText(), std::wstring(L"30", 3));
}

TEST_F(RetryTimeoutTest, ConfigureReadsTheTextOnlyWithinItsInput)
{
    StoreText(L"30");
    XcvEntry admin = MakeXcv(SERVER_ACCESS_ADMINISTER);
    GuardPage guarded;

    const std::wstring unterminated = L"6060";
    const BYTE* input = guarded.Place(unterminated.data(), unterminated.size() * sizeof(wchar_t));
    EXPECT_EQ(ConfigureLptPortCommand(input, 8, nullptr, 0, nullptr, &admin),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ConfigureLptPortCommand(nullptr, 0, nullptr, 0, nullptr, &admin),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A terminator outside the declared size does not count.
    const std::wstring text = L"60";
    input = guarded.Place(text.c_str(), TextBytes(text));
    EXPECT_EQ(ConfigureLptPortCommand(input, TextBytes(text) - 1, nullptr, 0, nullptr, &admin),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(StoredText(), std::wstring(L"30", 3));

    // Terminated right at the boundary: stored.
    EXPECT_EQ(ConfigureLptPortCommand(input, TextBytes(text), nullptr, 0, nullptr, &admin), 0u);
    EXPECT_EQ(ReadTimeout(), 60u);
}

TEST_F(RetryTimeoutTest, WithoutTheKeyReadsGive45AndWritesTheRegistrysCode)
{
    if (!KeyCreatedHere())
        GTEST_SKIP() << "the prefix has the key of its own; it is not removed";
    CloseAndRemoveKey();
    EXPECT_EQ(ReadTimeout(), 45u);
    EXPECT_EQ(Configure(L"60"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    RecreateKey();
    EXPECT_EQ(StoredText(), std::nullopt);
}

// ---- "SetDefaultCommConfig" ----

// Stands in for SetDefaultCommConfigW and records what it was handed.
struct CommConfigCall {
    std::optional<std::wstring> device;  // nullopt: no device name
    const void* config;
    DWORD bytes;
};
std::vector<CommConfigCall> commConfigCalls;
BOOL commConfigResult = TRUE;
DWORD commConfigError = 0;

BOOL WINAPI FakeSetDefaultCommConfig(LPCWSTR device, LPCOMMCONFIG config, DWORD bytes)
{
    commConfigCalls.push_back({device ? std::optional<std::wstring>(device) : std::nullopt,
                               config, bytes});
    if (!commConfigResult)
        SetLastError(commConfigError);
    return commConfigResult;
}

class SetDefaultCommConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        commConfigCalls.clear();
        commConfigResult = TRUE;
        commConfigError = 0;
        SystemSetDefaultCommConfig = FakeSetDefaultCommConfig;
        config_.dwSize = sizeof(config_);
        config_.dcb.DCBlength = sizeof(DCB);
        config_.dcb.BaudRate = 9600;
        blocksBefore_ = OutstandingBlocks();
    }
    void TearDown() override
    {
        SystemSetDefaultCommConfig = ::SetDefaultCommConfigW;
        EXPECT_EQ(OutstandingBlocks(), blocksBefore_);
    }

    DWORD Send(const XcvEntry& xcv, const void* input, DWORD bytes)
    {
        XcvEntry copy = xcv;
        return SetDefaultCommConfigCommand(static_cast<const BYTE*>(input), bytes, nullptr, 0,
                                           nullptr, &copy);
    }

    COMMCONFIG config_ = {};

private:
    LONG blocksBefore_ = 0;
};

TEST_F(SetDefaultCommConfigTest, TheDeviceIsTheObjectNameWithoutItsFinalColon)
{
    struct Case {
        const wchar_t* objectName;
        std::optional<std::wstring> device;
    };
    const Case cases[] = {
        {L"COM1:", L"COM1"}, {L"LPT2::", L"LPT2:"}, {L":", L""},
        {L"COM1", std::nullopt}, {L"", std::nullopt}, {L"COM1: ", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.objectName)));
        commConfigCalls.clear();
        EXPECT_EQ(Send(MakeXcv(SERVER_ACCESS_ADMINISTER, c.objectName), &config_, sizeof(config_)),
                  0u);
        ASSERT_EQ(commConfigCalls.size(), 1u);
        EXPECT_EQ(commConfigCalls[0].device, c.device);
        EXPECT_EQ(commConfigCalls[0].config, &config_);
        EXPECT_EQ(commConfigCalls[0].bytes, sizeof(config_));
    }
}

TEST_F(SetDefaultCommConfigTest, TheRecordsOwnSizeIsHandedOnAndARefusalPassesThrough)
{
    const XcvEntry admin = MakeXcv(SERVER_ACCESS_ADMINISTER, L"COM2:");
    BYTE input[sizeof(COMMCONFIG) + 16] = {};
    config_.dwSize = sizeof(COMMCONFIG) - 4;
    std::memcpy(input, &config_, sizeof(config_));
    EXPECT_EQ(Send(admin, input, sizeof(input)), 0u);
    ASSERT_EQ(commConfigCalls.size(), 1u);
    EXPECT_EQ(commConfigCalls[0].bytes, sizeof(COMMCONFIG) - 4);

    commConfigResult = FALSE;
    commConfigError = ERROR_BAD_UNIT;
    EXPECT_EQ(Send(admin, &config_, sizeof(config_)), static_cast<DWORD>(ERROR_BAD_UNIT));
    // A refusal that leaves no code of its own still reads as a failure.
    commConfigError = 0;
    EXPECT_NE(Send(admin, &config_, sizeof(config_)), 0u);
}

TEST_F(SetDefaultCommConfigTest, NeedsTheAdministerRight)
{
    EXPECT_EQ(Send(MakeXcv(0, L"COM1:"), &config_, sizeof(config_)),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Send(MakeXcv(SERVER_ACCESS_ENUMERATE, L"COM1:"), &config_, sizeof(config_)),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SetDefaultCommConfigCommand(reinterpret_cast<const BYTE*>(&config_), sizeof(config_),
                                          nullptr, 0, nullptr, nullptr),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(commConfigCalls.empty());
}

TEST_F(SetDefaultCommConfigTest, ReadsTheRecordOnlyWithinItsInput)
{
    const XcvEntry admin = MakeXcv(SERVER_ACCESS_ADMINISTER, L"COM1:");
    GuardPage guarded;

    // Shorter than the dwSize field itself.
    const BYTE* input = guarded.Place(&config_, 3);
    EXPECT_EQ(Send(admin, input, 3), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Send(admin, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Send(admin, nullptr, sizeof(config_)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // dwSize claims more than the input holds.
    input = guarded.Place(&config_, sizeof(config_) - 1);
    EXPECT_EQ(Send(admin, input, sizeof(config_) - 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // dwSize and input agree, but are shorter than the record's fixed part the system reads.
    COMMCONFIG small = config_;
    small.dwSize = 8;
    input = guarded.Place(&small, 8);
    EXPECT_EQ(Send(admin, input, 8), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(commConfigCalls.empty());

    // A record that ends at the boundary is handed on whole.
    input = guarded.Place(&config_, sizeof(config_));
    EXPECT_EQ(Send(admin, input, sizeof(config_)), 0u);
    ASSERT_EQ(commConfigCalls.size(), 1u);
    EXPECT_EQ(commConfigCalls[0].config, input);
}

}  // namespace
