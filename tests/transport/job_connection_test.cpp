// The document cycle against a printer on a loopback address: one connection per document, the
// bytes unchanged, bounded waits, and nothing left open on any path.
#include <gtest/gtest.h>

#include <chrono>

#include "transport_fixture.h"

namespace {

using JobConnectionTest = TransportTest;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(JobConnectionTest, EachDocumentArrivesUnchangedOverItsOwnConnection)
{
    LoopbackSink sink(SinkMode::Record);
    HANDLE port = OpenPortTo(sink);
    ASSERT_NE(port, nullptr);

    struct Case {
        size_t documentBytes;
        size_t pieceBytes;
    };
    const Case cases[] = {
        {1, 1}, {1000, 1}, {100003, 4096}, {300007, 65536}, {4000037, 4000037},
    };
    std::vector<std::string> documents;
    for (size_t i = 0; i < std::size(cases); ++i) {
        documents.push_back(Document(cases[i].documentBytes, static_cast<unsigned>(i)));
        // The first document comes the way Wine's spooler starts one: no printer name, job 0.
        const DWORD jobId = static_cast<DWORD>(i == 0 ? 0 : 40 + i);
        ASSERT_TRUE(StartDoc(port, jobId, i == 0 ? nullptr : L"Printer A")) << i;
        EXPECT_TRUE(WriteAll(port, documents.back(), cases[i].pieceBytes)) << i;
        EXPECT_TRUE(Table()->pfnEndDocPort(port)) << i;
        ExpectNothingHeld(port);
    }

    ASSERT_TRUE(sink.WaitForEnded(documents.size()));
    EXPECT_EQ(sink.Accepted(), documents.size());
    const std::vector<std::string> received = sink.Documents();
    ASSERT_EQ(received.size(), documents.size());
    for (size_t i = 0; i < documents.size(); ++i)
        EXPECT_TRUE(received[i] == documents[i]) << "document " << i << ": " << received[i].size()
                                                 << " of " << documents[i].size() << " bytes";

    const auto opens = spooler.CallsOf("OpenPrinter");
    ASSERT_EQ(opens.size(), documents.size());
    EXPECT_EQ(opens[0].text, L"<null>");
    EXPECT_EQ(opens[1].text, L"Printer A");
    const auto jobs = spooler.CallsOf("SetJob");
    ASSERT_EQ(jobs.size(), documents.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(jobs[i].handle, opens[i].handle);
        EXPECT_EQ(jobs[i].jobId, i == 0 ? 0u : 40 + i);
        EXPECT_EQ(jobs[i].level, 0u);
        EXPECT_FALSE(jobs[i].withData);
        EXPECT_EQ(jobs[i].command, static_cast<DWORD>(JOB_CONTROL_SENT_TO_PRINTER));
    }
    EXPECT_TRUE(debugTexts.Take().empty());
    EXPECT_TRUE(Table()->pfnClosePort(port));
}

TEST_F(JobConnectionTest, SecondStartWhileConnectedIsRefusedAndTheFirstDocumentKeepsItsPrinter)
{
    LoopbackSink sink(SinkMode::Record);
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 7));
    const HANDLE firstPrinter = Entry(port)->printer;

    EXPECT_FALSE(StartDoc(port, 8));
    EXPECT_EQ(spooler.CallsOf("OpenPrinter").size(), 2u);
    EXPECT_EQ(spooler.OpenPrinters(), 1) << "the refused start's printer handle was not closed";
    EXPECT_EQ(Entry(port)->printer, firstPrinter);
    EXPECT_EQ(Entry(port)->jobId, 7u);

    const std::string document = Document(5000);
    EXPECT_TRUE(WriteAll(port, document, 5000));
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    const auto jobs = spooler.CallsOf("SetJob");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].handle, firstPrinter);
    EXPECT_EQ(jobs[0].jobId, 7u);
    ExpectNothingHeld(port);

    ASSERT_TRUE(sink.WaitForEnded(1));
    EXPECT_EQ(sink.Accepted(), 1u);
    EXPECT_TRUE(sink.Documents()[0] == document);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, DocumentReachesThePrinterTheAddressAndPortNumberName)
{
    const struct {
        const char* what;
        const char* sinkAddress;
        std::wstring storedAddress;
        DWORD highBits;  // set above the low 16 bits of the port number
    } cases[] = {
        {"only the low 16 bits of the port number count", "127.0.0.1", L"127.0.0.1", 0x50000},
        // Read as octal, "010" would send the document to 127.0.0.8.
        {"leading zeros of the address are decimal", "127.0.0.10", L"127.000.000.010", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackSink sink(SinkMode::Record, c.sinkAddress);
        ASSERT_NE(sink.Port(), 0);
        StorePort(L"P1", c.storedAddress, sink.Port() | c.highBits);
        Start();
        HANDLE port = Open(L"P1");
        ASSERT_TRUE(StartDoc(port, 1));
        EXPECT_TRUE(WriteAll(port, c.what, 100));
        EXPECT_TRUE(Table()->pfnEndDocPort(port));
        ASSERT_TRUE(sink.WaitForEnded(1));
        EXPECT_EQ(sink.Documents()[0], c.what);
        Table()->pfnClosePort(port);
    }
}

TEST_F(JobConnectionTest, RefusedConnectionLeavesThePortIdleAndReadyForTheNextDocument)
{
    LoopbackSink closed(SinkMode::Refuse);
    ASSERT_NE(closed.Port(), 0);
    StorePort(L"P1", L"127.0.0.1", closed.Port());
    Start();
    HANDLE port = Open(L"P1");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartDoc(port, 21));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAECONNREFUSED));
    ExpectNothingHeld(port);
    ASSERT_EQ(spooler.CallsOf("OpenPrinter").size(), 1u);

    // Without a connection EndDocPort fails, yet still reports the job and closes the printer.
    EXPECT_FALSE(Table()->pfnEndDocPort(port));
    const auto jobs = spooler.CallsOf("SetJob");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].handle, nullptr);
    EXPECT_EQ(jobs[0].jobId, 21u);
    EXPECT_EQ(jobs[0].level, 0u);
    EXPECT_FALSE(jobs[0].withData);
    EXPECT_EQ(jobs[0].command, 6u);
    EXPECT_EQ(spooler.CallsOf("ClosePrinter").size(), 2u);
    ExpectNothingHeld(port);

    // The printer comes back on another port (as "PortData" would set it): the next document
    // goes through.
    LoopbackSink sink(SinkMode::Record);
    {
        MonitorLockGuard lock;
        Entry(port)->portNumber = sink.Port();
    }
    ASSERT_TRUE(StartDoc(port, 22));
    EXPECT_TRUE(WriteAll(port, "retry", 100));
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    ASSERT_TRUE(sink.WaitForEnded(1));
    EXPECT_EQ(sink.Documents()[0], "retry");
    ExpectNothingHeld(port);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, RepeatedEndDocPortClosesNothingTwice)
{
    LoopbackSink sink(SinkMode::Record);
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 3));
    const HANDLE printer = Entry(port)->printer;
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    EXPECT_FALSE(Table()->pfnEndDocPort(port));

    const auto closes = spooler.CallsOf("ClosePrinter");
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0].handle, printer);
    EXPECT_EQ(closes[1].handle, nullptr);
    ExpectNothingHeld(port);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, WritePortReportsEveryMissingArgumentInOrder)
{
    LoopbackSink sink(SinkMode::Record);
    StorePort(L"Idle", L"127.0.0.1", sink.Port());
    StorePort(L"Live", L"127.0.0.1", sink.Port());
    Start();
    HANDLE idle = Open(L"Idle");
    HANDLE live = Open(L"Live");
    ASSERT_TRUE(StartDoc(live, 1));

    const std::wstring noSocket = L"Socket not present";
    const std::wstring noBuffer = L"Send Buffer not present";
    const std::wstring noLength = L"Buffer lenght 0";
    const std::wstring noCount = L"Sent data size variable not present";
    struct Case {
        bool connected;
        bool buffer;
        DWORD bytes;
        bool count;
        std::vector<std::wstring> texts;
    };
    const Case cases[] = {
        {false, true, 4, true, {noSocket}},
        {true, false, 4, true, {noBuffer}},
        {true, true, 0, true, {noLength}},
        {true, true, 4, false, {noCount}},
        {true, true, 0, false, {noLength, noCount}},
        {false, false, 0, false, {noSocket, noBuffer, noLength, noCount}},
    };
    char data[4] = {'d', 'a', 't', 'a'};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DWORD written = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Table()->pfnWritePort(c.connected ? live : idle,
                                           c.buffer ? reinterpret_cast<LPBYTE>(data) : nullptr,
                                           c.bytes, c.count ? &written : nullptr))
            << "case " << i;
        EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "case " << i;
        EXPECT_EQ(written, 0xdeadbeefu) << "case " << i;
        EXPECT_EQ(debugTexts.Take(), c.texts) << "case " << i;
    }

    // The connection stays usable, and none of the refused calls sent anything.
    EXPECT_TRUE(WriteAll(live, "after", 100));
    EXPECT_TRUE(Table()->pfnEndDocPort(live));
    ASSERT_TRUE(sink.WaitForEnded(1));
    EXPECT_EQ(sink.Documents()[0], "after");
    Table()->pfnClosePort(idle);
    Table()->pfnClosePort(live);
}

// Offers a buffer far larger than the socket and the printer's window can take.
constexpr DWORD kLargeBuffer = 16 * 1024 * 1024;

TEST_F(JobConnectionTest, PrinterStoppingMidBufferGetsEveryByteWritePortReported)
{
    LoopbackSink sink(SinkMode::Hold);
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 1));

    const std::string document = Document(kLargeBuffer);
    DWORD written = 0xdeadbeef;
    const auto start = Clock::now();
    EXPECT_TRUE(Write(port, document.data(), kLargeBuffer, &written));
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, kLargeBuffer);
    EXPECT_TRUE(debugTexts.Take().empty());

    sink.ResumeReading();
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    ASSERT_TRUE(sink.WaitForEnded(1));
    const std::string received = sink.Documents()[0];
    EXPECT_EQ(received.size(), written);
    EXPECT_TRUE(received == document.substr(0, written));
    ExpectNothingHeld(port);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, PrinterThatStopsReadingMakesWritePortFailWithinASecond)
{
    LoopbackSink sink(SinkMode::Hold);
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 1));

    // Keep writing until the connection is full: a call may still place a last few bytes (the
    // socket takes data before select calls it writable again), the next one gets no room.
    const std::string document = Document(kLargeBuffer);
    DWORD filled = 0;
    BOOL accepted = TRUE;
    DWORD written = 0xdeadbeef;
    for (int call = 0; call < 5 && accepted; ++call) {
        written = 0xdeadbeef;
        const auto start = Clock::now();
        accepted = Write(port, document.data() + filled, kLargeBuffer - filled, &written);
        EXPECT_LT(SecondsSince(start), 5.0) << "call " << call;
        if (accepted)
            filled += written;
    }
    EXPECT_FALSE(accepted);
    EXPECT_LT(filled, kLargeBuffer);
    EXPECT_EQ(written, 0xdeadbeefu);
    EXPECT_EQ(debugTexts.Take(), std::vector<std::wstring>{L"Socket not ready for writing"});

    // Nothing of the failed call was sent: the printer gets exactly the filled part.
    sink.ResumeReading();
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    ASSERT_TRUE(sink.WaitForEnded(1));
    EXPECT_TRUE(sink.Documents()[0] == document.substr(0, filled));
    ExpectNothingHeld(port);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, WritePortToAPrinterThatHungUpReportsASendError)
{
    LoopbackSink sink(SinkMode::Close);
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 1));
    ASSERT_TRUE(sink.WaitForEnded(1));

    // The first pieces may still be taken; once the printer's reset arrives, send fails.
    const std::string piece = Document(4096);
    BOOL result = TRUE;
    for (int attempt = 0; attempt < 100 && result; ++attempt) {
        DWORD written = 0;
        result = Write(port, piece.data(), 4096, &written);
        if (result)
            Sleep(10);
    }
    EXPECT_FALSE(result);
    // The caller reads the socket's own reason, not what writing the diagnostic left behind.
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == WSAECONNRESET || error == WSAECONNABORTED) << error;
    EXPECT_EQ(debugTexts.Take(), std::vector<std::wstring>{L"Socket send error"});
    Table()->pfnEndDocPort(port);
    ExpectNothingHeld(port);
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, ReadPortGetsThePrinterReplyAndZeroBytesOnceItHungUp)
{
    LoopbackSink sink(SinkMode::Record);
    sink.SetReply("@PJL INFO STATUS");
    HANDLE port = OpenPortTo(sink);
    ASSERT_TRUE(StartDoc(port, 1));

    std::string reply;
    char buffer[64];
    for (int attempt = 0; attempt < 10 && reply.size() < 16; ++attempt) {
        DWORD read = 0xdeadbeef;
        if (Table()->pfnReadPort(port, reinterpret_cast<LPBYTE>(buffer), sizeof(buffer), &read))
            reply.append(buffer, read);
    }
    EXPECT_EQ(reply, "@PJL INFO STATUS");

    // Nothing more comes: ReadPort gives up after its one-second wait.
    DWORD read = 0xdeadbeef;
    const auto start = Clock::now();
    EXPECT_FALSE(Table()->pfnReadPort(port, reinterpret_cast<LPBYTE>(buffer), sizeof(buffer),
                                      &read));
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_EQ(read, 0xdeadbeefu);
    EXPECT_TRUE(Table()->pfnEndDocPort(port));

    LoopbackSink hangsUp(SinkMode::Close);
    {
        MonitorLockGuard lock;
        Entry(port)->portNumber = hangsUp.Port();
    }
    ASSERT_TRUE(StartDoc(port, 2));
    ASSERT_TRUE(hangsUp.WaitForEnded(1));
    read = 0xdeadbeef;
    EXPECT_TRUE(Table()->pfnReadPort(port, reinterpret_cast<LPBYTE>(buffer), sizeof(buffer),
                                     &read));
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(Table()->pfnEndDocPort(port));
    ExpectNothingHeld(port);
    EXPECT_TRUE(debugTexts.Take().empty());
    Table()->pfnClosePort(port);
}

TEST_F(JobConnectionTest, ReadPortFailsSilentlyWithoutConnectionOrArguments)
{
    LoopbackSink sink(SinkMode::Record);
    sink.SetReply("reply");
    StorePort(L"Idle", L"127.0.0.1", sink.Port());
    StorePort(L"Live", L"127.0.0.1", sink.Port());
    Start();
    HANDLE idle = Open(L"Idle");
    HANDLE live = Open(L"Live");
    ASSERT_TRUE(StartDoc(live, 1));

    char buffer[16];
    struct Case {
        HANDLE port;
        bool buffer;
        DWORD bytes;
        bool count;
    };
    const Case cases[] = {
        {idle, true, sizeof(buffer), true},
        {live, false, sizeof(buffer), true},
        {live, true, 0, true},
        {live, true, sizeof(buffer), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DWORD read = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Table()->pfnReadPort(c.port,
                                          c.buffer ? reinterpret_cast<LPBYTE>(buffer) : nullptr,
                                          c.bytes, c.count ? &read : nullptr))
            << "case " << i;
        EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "case " << i;
        EXPECT_EQ(read, 0xdeadbeefu) << "case " << i;
    }
    EXPECT_TRUE(debugTexts.Take().empty());
    EXPECT_TRUE(Table()->pfnEndDocPort(live));
    Table()->pfnClosePort(idle);
    Table()->pfnClosePort(live);
}

}  // namespace
