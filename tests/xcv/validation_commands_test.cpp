// "PortExists" and "PortIsValid": the spooler's port list through fake spooler operations, and
// test connections to listeners on this machine's loopback addresses only.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_spooler.h"
#include "monitor/alloc.h"
#include "monitor/monitor_lock.h"
#include "monitor_fixture.h"
#include "xcv/commands.h"
#include "xcv/validation_commands.h"
#include "xcv/xcv_entry.h"
#include "guard_page.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

// A TCP listener on a loopback address, port chosen by the system.
class LoopbackListener {
public:
    explicit LoopbackListener(const char* address = "127.0.0.1")
    {
        socket_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local = {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr(address);
        int length = sizeof(local);
        if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
            listen(socket_, 8) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            ADD_FAILURE() << "cannot listen on " << address << ": " << WSAGetLastError();
        port_ = ntohs(local.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    u_short Port() const { return port_; }

    // Stops listening: later connections to the port are refused.
    void Close()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    // The connection waiting in the backlog, or INVALID_SOCKET when none arrives in `waitMs`.
    SOCKET Accept(DWORD waitMs) const
    {
        if (!Readable(socket_, waitMs))
            return INVALID_SOCKET;
        return accept(socket_, nullptr, nullptr);
    }

    static bool Readable(SOCKET s, DWORD waitMs)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
        return select(0, &readable, nullptr, nullptr, &wait) == 1;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    u_short port_ = 0;
};

// What the handler's test connection looked like just before it was closed.
struct ClosingSeen {
    int count = 0;
    linger closing = {};
};
ClosingSeen closingSeen;

void RecordClosing(SOCKET s) noexcept
{
    ++closingSeen.count;
    int length = sizeof(closingSeen.closing);
    getsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&closingSeen.closing), &length);
}

XcvEntry ReaderXcv()
{
    XcvEntry xcv = {};
    xcv.grantedAccess = 0;  // neither command needs the administer right
    xcv.objectName = const_cast<wchar_t*>(L"");
    return xcv;
}

struct Answer {
    DWORD result;
    DWORD output;
    DWORD needed;
};

class PortValidationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ResetSpooler();
        closingSeen = {};
        TestConnectionClosing = RecordClosing;
        blocksBefore_ = OutstandingBlocks();
    }
    void TearDown() override
    {
        EXPECT_EQ(OutstandingBlocks(), blocksBefore_);
        TestConnectionClosing = nullptr;
        ForgetSpoolerLibrary();  // the cache must not outlive the fake it points into
        spooler.reset();
        WSACleanup();
    }

    // A new fake spooler and an empty library cache.
    void ResetSpooler()
    {
        ForgetSpoolerLibrary();
        spooler.reset();
        spooler = std::make_unique<FakeSpoolerHost>();
    }

    Answer PortExists(const std::wstring& name, DWORD outputBytes = sizeof(DWORD))
    {
        Answer answer = {0, kSentinel, kSentinel};
        answer.result = PortExistsCommand(reinterpret_cast<const BYTE*>(name.c_str()),
                                          static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)),
                                          reinterpret_cast<BYTE*>(&answer.output), outputBytes,
                                          &answer.needed, &xcv);
        return answer;
    }

    DWORD PortIsValid(const PortConfig& config)
    {
        DWORD output = kSentinel;
        DWORD needed = kSentinel;
        const DWORD result =
            PortIsValidCommand(reinterpret_cast<const BYTE*>(&config), sizeof(config),
                               reinterpret_cast<BYTE*>(&output), sizeof(output), &needed, &xcv);
        EXPECT_EQ(output, kSentinel);
        EXPECT_EQ(needed, kSentinel);
        return result;
    }

    std::unique_ptr<FakeSpoolerHost> spooler;
    XcvEntry xcv = ReaderXcv();

private:
    LONG blocksBefore_ = 0;
};

// ---- SpoolerHasPort, seen through "PortExists" and "PortIsValid" ----

struct ListCase {
    const char* what;
    std::vector<std::wstring> ports;
    bool probeSucceeds;
    DWORD probeError;
    bool fetchFails;
    const wchar_t* name;
    DWORD listed;
    size_t enumCalls;
    bool noMemory = false;  // the list buffer cannot be had
};

const ListCase kListCases[] = {
    {"probe succeeds: nothing listed", {}, true, 0, false, L"VXA1", 0, 1},
    {"probe fails, not for size: unreadable", {}, false, ERROR_ACCESS_DENIED, false, L"VXA1", 1, 1},
    {"fetch fails: unreadable", {L"LPT1:"}, false, 0, true, L"VXA1", 1, 2},
    {"no memory for the list: unreadable", {L"VXA2"}, false, 0, false, L"VXA1", 1, 1, true},
    {"listed in another case", {L"LPT1:", L"Vxa_Printer", L"COM1:"}, false, 0, false,
     L"vxa_PRINTER", 1, 2},
    {"listed last", {L"LPT1:", L"COM1:", L"VXA1"}, false, 0, false, L"VXA1", 1, 2},
    {"not listed", {L"LPT1:", L"VXA10", L"VXA"}, false, 0, false, L"VXA1", 0, 2},
};

// Makes the fake spooler's port list behave as the case says.
void ApplyListCase(FakeSpoolerHost& fake, const ListCase& c)
{
    fake.spoolerPorts = c.ports;
    fake.probeSucceeds = c.probeSucceeds;
    fake.probeError = c.probeError;
    fake.fetchFails = c.fetchFails;
}

TEST_F(PortValidationTest, PortExistsAnswersFromTheSpoolersList)
{
    for (const ListCase& c : kListCases) {
        SCOPED_TRACE(c.what);
        ResetSpooler();
        FakeSpoolerHost& fake = *spooler;
        ApplyListCase(fake, c);

        FailNthAllocation(c.noMemory ? 1 : 0);
        const Answer answer = PortExists(c.name);
        FailNthAllocation(0);
        EXPECT_EQ(answer.result, 0u);
        EXPECT_EQ(answer.output, c.listed);
        EXPECT_EQ(answer.needed, sizeof(DWORD));
        EXPECT_EQ(fake.CallsOf("EnumPorts").size(), c.enumCalls);
        for (const SpoolerCall& call : fake.CallsOf("EnumPorts"))
            EXPECT_EQ(call.level, 1u);
    }
}

TEST_F(PortValidationTest, PortIsValidRefusesANewPortTheSpoolerListsOrCannotRule)
{
    for (const ListCase& c : kListCases) {
        SCOPED_TRACE(c.what);
        ResetSpooler();
        ApplyListCase(*spooler, c);
        LoopbackListener printer;

        SetLastError(kSentinel);
        FailNthAllocation(c.noMemory ? 1 : 0);
        const DWORD result = PortIsValid(MakeConfig(c.name, L"127.0.0.1", printer.Port(), 1));
        FailNthAllocation(0);
        if (c.listed) {
            EXPECT_EQ(result, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
            EXPECT_EQ(printer.Accept(0), INVALID_SOCKET) << "no test connection was due";
        } else {
            EXPECT_EQ(result, 0u);
            const SOCKET accepted = printer.Accept(5000);
            EXPECT_NE(accepted, INVALID_SOCKET);
            closesocket(accepted);
        }
    }
}

TEST_F(PortValidationTest, AChangedPortIsOnlyTestedForItsConnection)
{
    spooler->spoolerPorts = {L"VXA1"};
    LoopbackListener printer;
    EXPECT_EQ(PortIsValid(MakeConfig(L"VXA1", L"127.0.0.1", printer.Port(), 0)), 0u);
    EXPECT_TRUE(spooler->CallsOf("LoadLibrary").empty());
    EXPECT_TRUE(spooler->CallsOf("EnumPorts").empty());
    closesocket(printer.Accept(5000));
}

TEST_F(PortValidationTest, TheSpoolerLibraryComesFromTheSystemDirectory)
{
    spooler->probeSucceeds = true;
    ASSERT_EQ(PortExists(L"VXA1").result, 0u);

    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const auto loads = spooler->CallsOf("LoadLibrary");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].text, std::wstring(system) + L"\\SPOOLSS.DLL");
    const auto lookups = spooler->CallsOf("GetProcAddress");
    ASSERT_EQ(lookups.size(), 1u);
    EXPECT_EQ(lookups[0].text, L"EnumPortsW");
}

TEST_F(PortValidationTest, TheLibraryIsLoadedOnceButTheListIsReadEveryTime)
{
    spooler->spoolerPorts = {L"LPT1:"};
    EXPECT_EQ(PortExists(L"VXA1").output, 0u);
    spooler->spoolerPorts = {L"LPT1:", L"VXA1"};
    EXPECT_EQ(PortExists(L"VXA1").output, 1u);
    spooler->spoolerPorts = {};
    spooler->probeSucceeds = true;
    EXPECT_EQ(PortExists(L"VXA1").output, 0u);

    EXPECT_EQ(spooler->CallsOf("LoadLibrary").size(), 1u);
    EXPECT_EQ(spooler->CallsOf("GetProcAddress").size(), 1u);
    EXPECT_EQ(spooler->CallsOf("EnumPorts").size(), 5u);
    EXPECT_TRUE(spooler->CallsOf("FreeLibrary").empty());
}

struct LoadFailure {
    const char* what;
    DWORD loadLibraryError;
    DWORD getProcAddressError;
    size_t freed;  // the library is released only when it was loaded
};

TEST_F(PortValidationTest, AMissingLibraryOrEntryPointGivesTheLoadersCodeAndIsTriedAgain)
{
    const LoadFailure failures[] = {
        {"library missing", ERROR_MOD_NOT_FOUND, 0, 0},
        {"entry point missing", 0, ERROR_PROC_NOT_FOUND, 1},
    };
    for (const LoadFailure& f : failures) {
        SCOPED_TRACE(f.what);
        ResetSpooler();
        FakeSpoolerHost& fake = *spooler;
        fake.spoolerPorts = {L"VXA1"};
        fake.loadLibraryError = f.loadLibraryError;
        fake.getProcAddressError = f.getProcAddressError;

        const Answer failed = PortExists(L"VXA1");
        EXPECT_EQ(failed.result, f.loadLibraryError + f.getProcAddressError);
        EXPECT_EQ(failed.output, kSentinel);
        EXPECT_EQ(failed.needed, sizeof(DWORD));
        EXPECT_TRUE(fake.CallsOf("EnumPorts").empty());
        const auto freed = fake.CallsOf("FreeLibrary");
        ASSERT_EQ(freed.size(), f.freed);
        if (f.freed != 0) {
            EXPECT_EQ(freed[0].handle, FakeSpoolerHost::FakeModule());
        }

        // "PortIsValid" counts the name as not listed and goes on to the connection.
        LoopbackListener printer;
        EXPECT_EQ(PortIsValid(MakeConfig(L"VXA1", L"127.0.0.1", printer.Port(), 1)), 0u);
        closesocket(printer.Accept(5000));

        // Each call tries the load again, and once it works the answer is real.
        fake.loadLibraryError = 0;
        fake.getProcAddressError = 0;
        const Answer loaded = PortExists(L"VXA1");
        EXPECT_EQ(loaded.result, 0u);
        EXPECT_EQ(loaded.output, 1u);
        EXPECT_EQ(fake.CallsOf("LoadLibrary").size(), 3u);
    }
}

TEST_F(PortValidationTest, ConcurrentFirstQueriesLoadTheLibraryOnce)
{
    spooler->spoolerPorts = {L"VXA1"};
    spooler->loadLibraryDelayMs = 200;
    constexpr int kThreads = 6;
    std::atomic<bool> go{false};
    std::vector<Answer> answers(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load())
                std::this_thread::yield();
            answers[i] = PortExists(L"vxa1");
        });
    }
    go = true;
    for (auto& thread : threads)
        thread.join();

    for (const Answer& answer : answers) {
        EXPECT_EQ(answer.result, 0u);
        EXPECT_EQ(answer.output, 1u);
    }
    EXPECT_EQ(spooler->CallsOf("LoadLibrary").size(), 1u);
    EXPECT_EQ(spooler->CallsOf("GetProcAddress").size(), 1u);
    EXPECT_EQ(spooler->CallsOf("EnumPorts").size(), 2u * kThreads);
}

TEST_F(PortValidationTest, TheSpoolerIsEnumeratedWithNoMonitorLockHeld)
{
    // Another thread must be able to take MonitorLock while EnumPortsW runs.
    std::atomic<int> lockFree{0};
    std::atomic<int> enumerations{0};
    spooler->duringEnumPorts = [&] {
        ++enumerations;
        std::thread other([&] {
            if (TryEnterCriticalSection(&MonitorLock)) {
                ++lockFree;
                LeaveCriticalSection(&MonitorLock);
            }
        });
        other.join();
    };
    spooler->spoolerPorts = {L"LPT1:"};
    LoopbackListener printer;
    PortExists(L"VXA1");
    PortIsValid(MakeConfig(L"VXA1", L"127.0.0.1", printer.Port(), 1));
    closesocket(printer.Accept(5000));
    EXPECT_EQ(enumerations.load(), 4);
    EXPECT_EQ(lockFree.load(), 4);
}

// ---- "PortExists": buffers ----

TEST_F(PortValidationTest, PortExistsWithAShortOutputAsksForFourBytesWithoutAskingTheSpooler)
{
    spooler->spoolerPorts = {L"VXA1"};
    const Answer answer = PortExists(L"VXA1", 3);
    EXPECT_EQ(answer.result, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(answer.needed, 4u);
    EXPECT_EQ(answer.output, kSentinel);
    EXPECT_TRUE(spooler->Calls().empty());
}

TEST_F(PortValidationTest, PortExistsReadsTheNameOnlyWithinItsInput)
{
    spooler->spoolerPorts = {L"VXA1"};
    GuardPage input;
    GuardPage output;

    struct Case {
        const char* what;
        std::wstring units;  // placed so that they end at the boundary
        DWORD bytes;         // the input size declared
        DWORD result;
        DWORD listed;
    };
    const Case cases[] = {
        {"terminated at the boundary", std::wstring(L"VXA1", 5), 10, 0, 1},
        {"no terminator", L"VXA1VXA1", 16, ERROR_INVALID_PARAMETER, kSentinel},
        {"terminator outside the declared size", std::wstring(L"VXA1", 5), 8,
         ERROR_INVALID_PARAMETER, kSentinel},
        {"half a terminator", std::wstring(L"VXA1", 5), 9, ERROR_INVALID_PARAMETER, kSentinel},
        {"empty input", L"", 0, ERROR_INVALID_PARAMETER, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t placed = c.units.size() * sizeof(wchar_t);
        BYTE* data = input.Place(c.units.data(), placed);
        BYTE* out = output.Tail(sizeof(DWORD));
        std::memcpy(out, &kSentinel, sizeof(kSentinel));
        DWORD needed = kSentinel;
        EXPECT_EQ(PortExistsCommand(data, c.bytes, out, sizeof(DWORD), &needed, &xcv), c.result);
        DWORD listed = 0;
        std::memcpy(&listed, out, sizeof(listed));
        EXPECT_EQ(listed, c.listed);
    }
    DWORD out = kSentinel;
    DWORD needed = kSentinel;
    EXPECT_EQ(PortExistsCommand(nullptr, 0, reinterpret_cast<BYTE*>(&out), sizeof(out), &needed,
                                &xcv),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(out, kSentinel);
    EXPECT_EQ(spooler->CallsOf("EnumPorts").size(), 2u);  // only the terminated name was asked
}

// ---- "PortIsValid": input ----

TEST_F(PortValidationTest, PortIsValidReadsTheRecordOnlyWithinItsInput)
{
    spooler->probeSucceeds = true;
    LoopbackListener printer;
    GuardPage input;

    PortConfig good = MakeConfig(L"VXA1", L"127.0.0.1", printer.Port(), 1);
    PortConfig longName = good;
    std::fill(std::begin(longName.portName), std::end(longName.portName), L'N');
    PortConfig longAddress = good;
    std::fill(std::begin(longAddress.address), std::end(longAddress.address), L'1');

    struct Case {
        const char* what;
        const PortConfig* record;
        DWORD bytes;
        DWORD result;
    };
    const Case cases[] = {
        {"one byte short", &good, sizeof(PortConfig) - 1, ERROR_INVALID_PARAMETER},
        {"name fills its field", &longName, sizeof(PortConfig), ERROR_INVALID_PARAMETER},
        {"address fills its field", &longAddress, sizeof(PortConfig), ERROR_INVALID_PARAMETER},
        {"whole record at the boundary", &good, sizeof(PortConfig), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BYTE* data = input.Place(c.record, c.bytes);
        DWORD needed = kSentinel;
        EXPECT_EQ(PortIsValidCommand(data, c.bytes, nullptr, 0, &needed, &xcv), c.result);
        EXPECT_EQ(needed, kSentinel);
    }
    EXPECT_EQ(PortIsValidCommand(nullptr, 0, nullptr, 0, nullptr, &xcv),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Only the good record reached the spooler and the printer.
    EXPECT_EQ(spooler->CallsOf("EnumPorts").size(), 1u);
    EXPECT_EQ(closingSeen.count, 1);
    closesocket(printer.Accept(5000));
}

// ---- "PortIsValid": the test connection ----

TEST_F(PortValidationTest, ASuccessfulTestClosesWithAFiveSecondLinger)
{
    spooler->probeSucceeds = true;
    LoopbackListener printer;
    EXPECT_EQ(PortIsValid(MakeConfig(L"VXA1", L"127.0.0.1", printer.Port(), 1)), 0u);

    ASSERT_EQ(closingSeen.count, 1);
    EXPECT_EQ(closingSeen.closing.l_onoff, 1);
    EXPECT_EQ(closingSeen.closing.l_linger, 5);
    // The printer sees an orderly end of the connection, not a reset.
    const SOCKET accepted = printer.Accept(5000);
    ASSERT_NE(accepted, INVALID_SOCKET);
    ASSERT_TRUE(LoopbackListener::Readable(accepted, 5000));
    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 0);
    closesocket(accepted);
}

TEST_F(PortValidationTest, ARefusedConnectionGivesTheConnectCode)
{
    spooler->probeSucceeds = true;
    LoopbackListener printer;
    const u_short closedPort = printer.Port();
    printer.Close();

    EXPECT_EQ(PortIsValid(MakeConfig(L"VXA1", L"127.0.0.1", closedPort, 1)),
              static_cast<DWORD>(WSAECONNREFUSED));
    ASSERT_EQ(closingSeen.count, 1);  // the socket was closed, with the same linger
    EXPECT_EQ(closingSeen.closing.l_onoff, 1);
    EXPECT_EQ(closingSeen.closing.l_linger, 5);
}

TEST_F(PortValidationTest, TheAddressIsReadAsDecimalAndThePortAsItsLow16Bits)
{
    spooler->probeSucceeds = true;
    LoopbackListener printer("127.0.0.10");  // read as octal, 010 would be 127.0.0.8

    struct Case {
        const wchar_t* address;
        DWORD portNumber;
    };
    const Case cases[] = {
        {L"127.000.000.010", printer.Port()},
        {L"127.0.0.10", 0x10000u + printer.Port()},
        {L"0127.00.0.0010", 0xFFFF0000u | printer.Port()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.address)) + " port " +
                     std::to_string(c.portNumber));
        EXPECT_EQ(PortIsValid(MakeConfig(L"VXA1", c.address, c.portNumber, 1)), 0u);
        const SOCKET accepted = printer.Accept(5000);
        ASSERT_NE(accepted, INVALID_SOCKET);
        sockaddr_in local = {};
        int length = sizeof(local);
        getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &length);
        EXPECT_EQ(local.sin_addr.s_addr, inet_addr("127.0.0.10"));
        closesocket(accepted);
    }
}

// ---- The real spooler library of the system ----

class SystemSpoolerTest : public ::testing::Test {
protected:
    void SetUp() override { ForgetSpoolerLibrary(); }
    void TearDown() override { ForgetSpoolerLibrary(); }
};

TEST_F(SystemSpoolerTest, PortExistsAsksTheSystemSpooler)
{
    // The system's spooler lists its own file port, "FILE:".
    XcvEntry xcv = ReaderXcv();
    for (const auto& [name, listed] : {std::pair{L"file:", 1u}, std::pair{L"VXA_NO_SUCH_PORT", 0u}}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(name)));
        DWORD output = kSentinel;
        DWORD needed = kSentinel;
        const std::wstring text(name);
        EXPECT_EQ(PortExistsCommand(reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                                    reinterpret_cast<BYTE*>(&output), sizeof(output), &needed,
                                    &xcv),
                  0u);
        EXPECT_EQ(output, listed);
    }
}

}  // namespace
