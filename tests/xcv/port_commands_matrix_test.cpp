// Every port command against every kind of caller, input and output size. Each case starts from
// the same table: P1 stored and committed, P2 pending. Inputs and outputs end at a no-access page,
// so any access outside the client's buffers crashes the program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "guard_page.h"
#include "xcv_fixture.h"

namespace {

enum class Input { Missing, Short, Unterminated, Exact, Long };
enum class State { Unchanged, P3Pending, P2Committed, P1Deleted };
enum class Output { Untouched, P1Config };

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kOutputFill = 0xCD;
constexpr DWORD kNoAdminAccess = SERVER_ACCESS_ENUMERATE;  // some access, not bit 0

const char* Name(Input input)
{
    switch (input) {
    case Input::Missing: return "Missing";
    case Input::Short: return "Short";
    case Input::Unterminated: return "Unterminated";
    case Input::Exact: return "Exact";
    case Input::Long: return "Long";
    }
    return "?";
}

// The input bytes of each command and kind. PortData creates P3; AddPort and ModifyPort store P2;
// DeletePort and GetDefaultPortConfig name P1.
std::vector<BYTE> InputBytes(const std::wstring& command, Input input)
{
    if (command == L"PortData") {
        PortConfig config = MakeConfig(L"P3", L"127.0.0.30", 9102, 1);
        std::vector<BYTE> bytes(sizeof(config));
        if (input == Input::Unterminated)
            std::fill(std::begin(config.portName), std::end(config.portName), L'N');
        std::memcpy(bytes.data(), &config, sizeof(config));
        if (input == Input::Short)
            bytes.pop_back();
        if (input == Input::Long)
            bytes.push_back(0);
        return bytes;
    }
    const std::wstring name = command == L"AddPort" || command == L"ModifyPort" ? L"P2" : L"P1";
    switch (input) {
    case Input::Missing: return {};
    case Input::Short: return {static_cast<BYTE>(name[0])};  // half a unit
    case Input::Unterminated: return NameBytes(name, false);
    case Input::Exact: return NameBytes(name);
    case Input::Long: {
        std::vector<BYTE> bytes = NameBytes(name);
        bytes.push_back('X');
        bytes.push_back(0);
        return bytes;
    }
    }
    return {};
}

// What an administrator's call with a full-size output gives, per command and input.
struct Outcome {
    DWORD code;
    State state;
    Output output;
};

Outcome AdministratorOutcome(const std::wstring& command, Input input)
{
    const bool valid = input == Input::Exact || input == Input::Long;
    if (command == L"PortData")
        return input == Input::Exact ? Outcome{0, State::P3Pending, Output::Untouched}
                                     : Outcome{87, State::Unchanged, Output::Untouched};
    if (command == L"AddPort" || command == L"ModifyPort")  // exactly the name, nothing more
        return input == Input::Exact ? Outcome{0, State::P2Committed, Output::Untouched}
                                     : Outcome{87, State::Unchanged, Output::Untouched};
    if (command == L"DeletePort")  // the size past the terminator is not examined
        return valid ? Outcome{0, State::P1Deleted, Output::Untouched}
                     : Outcome{87, State::Unchanged, Output::Untouched};
    // GetDefaultPortConfig
    return valid ? Outcome{0, State::Unchanged, Output::P1Config}
                 : Outcome{87, State::Unchanged, Output::Untouched};
}

std::vector<EntryState> EntriesIn(State state)
{
    const EntryState p1{L"P1", L"127.0.0.10", 9100, 1};
    const EntryState p2{L"P2", L"127.0.0.20", 9101, 0};
    switch (state) {
    case State::Unchanged: return {p1, p2};
    case State::P3Pending: return {p1, p2, {L"P3", L"127.0.0.30", 9102, 0}};
    case State::P2Committed: return {p1, {L"P2", L"127.0.0.20", 9101, 1}};
    case State::P1Deleted: return {p2};
    }
    return {};
}

std::vector<StoredPort> StoredIn(State state)
{
    const StoredPort p1{L"P1", L"127.0.0.10", 9100};
    switch (state) {
    case State::Unchanged:
    case State::P3Pending: return {p1};
    case State::P2Committed: return {p1, {L"P2", L"127.0.0.20", 9101}};
    case State::P1Deleted: return {};
    }
    return {};
}

std::vector<BYTE> OutputIn(Output output, DWORD bytes)
{
    std::vector<BYTE> expected(bytes, kOutputFill);
    if (output == Output::P1Config && bytes >= sizeof(PortConfig)) {
        // Each text with its terminator, the port number; nothing else of the record.
        std::memcpy(expected.data() + offsetof(PortConfig, portName), L"P1", 6);
        std::memcpy(expected.data() + offsetof(PortConfig, address), L"127.0.0.10", 22);
        const DWORD portNumber = 9100;
        std::memcpy(expected.data() + offsetof(PortConfig, portNumber), &portNumber, 4);
    }
    return expected;
}

using Case = std::tuple<const wchar_t*, bool /*administrator*/, Input, DWORD /*output bytes*/>;

class PortCommandMatrix : public XcvTest, public ::testing::WithParamInterface<Case> {};

TEST_P(PortCommandMatrix, GivesTheCodeNeededSizeOutputAndStateOfItsRow)
{
    const auto [commandText, administrator, input, outputBytes] = GetParam();
    const std::wstring command = commandText;

    StorePort(L"P1", L"127.0.0.10", 9100);
    Start();
    ASSERT_EQ(PortData(MakeConfig(L"P2", L"127.0.0.20", 9101, 1)), 0u);
    ASSERT_EQ(Entries(), EntriesIn(State::Unchanged));
    HANDLE xcv = OpenXcv(administrator ? SERVER_ACCESS_ADMINISTER : kNoAdminAccess);

    // The expected outcome: the administrator rule comes first for the commands that change
    // ports; "GetDefaultPortConfig" refuses a short output before it looks at its input.
    Outcome expected = AdministratorOutcome(command, input);
    DWORD expectedNeeded = kSentinel;
    if (command == L"GetDefaultPortConfig") {
        if (outputBytes < sizeof(PortConfig)) {
            expected = {122, State::Unchanged, Output::Untouched};
            expectedNeeded = sizeof(PortConfig);
        }
    } else if (!administrator) {
        expected = {5, State::Unchanged, Output::Untouched};
    }

    GuardPage inputPage, outputPage;
    const std::vector<BYTE> bytes = InputBytes(command, input);
    const BYTE* in = input == Input::Missing ? nullptr : inputPage.Place(bytes.data(), bytes.size());
    BYTE* out = outputPage.Fill(kOutputFill, outputBytes);
    DWORD needed = kSentinel;

    const DWORD code = Call(xcv, commandText, in, static_cast<DWORD>(bytes.size()), out,
                            outputBytes, &needed);

    EXPECT_EQ(code, expected.code);
    EXPECT_EQ(needed, expectedNeeded);
    EXPECT_EQ(std::vector<BYTE>(out, out + outputBytes), OutputIn(expected.output, outputBytes));
    EXPECT_EQ(Entries(), EntriesIn(expected.state));
    EXPECT_EQ(StoredPorts(), StoredIn(expected.state));
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    const auto& [command, administrator, input, outputBytes] = info.param;
    std::string name;
    for (const wchar_t* c = command; *c != L'\0'; ++c)
        name += static_cast<char>(*c);
    return name + (administrator ? "_Admin_" : "_NoAdmin_") + Name(input) + "_Out" +
           std::to_string(outputBytes);
}

INSTANTIATE_TEST_SUITE_P(
    PortCommands, PortCommandMatrix,
    ::testing::Combine(::testing::Values(L"PortData", L"AddPort", L"ModifyPort", L"DeletePort",
                                         L"GetDefaultPortConfig"),
                       ::testing::Bool(),
                       ::testing::Values(Input::Missing, Input::Short, Input::Unterminated,
                                         Input::Exact, Input::Long),
                       // none, one byte short of a record, a record (only GetDefaultPortConfig
                       // has output; the others must leave any output alone)
                       ::testing::Values(0u, 995u, 996u)),
    CaseName);

}  // namespace
