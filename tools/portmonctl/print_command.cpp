// print: one RAW document, sent to a printer queue or straight to a port.
#include <windows.h>
#include <winspool.h>

#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "printer_handle.h"

namespace {

constexpr DWORD kChunkBytes = 64 * 1024;
constexpr uint64_t kProgressFromBytes = 1024 * 1024;  // smaller documents print no progress
constexpr DWORD kJobWaitMilliseconds = 60 * 1000;
constexpr DWORD kJobPollMilliseconds = 250;
constexpr int kJobReadAttempts = 5;
constexpr DWORD kNoReason = ~DWORD(0);  // GetJobW failed and set no code

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    ~FileHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

// One line that shows how much of a large document has been sent: rewritten in place on a
// console, a new line at each quarter otherwise (a log file stays short).
class Progress {
public:
    explicit Progress(uint64_t total) : total_(total)
    {
        DWORD mode = 0;
        console_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }
    void Update(uint64_t sent)
    {
        if (total_ < kProgressFromBytes)
            return;
        unsigned percent = unsigned(sent * 100 / total_);
        unsigned step = console_ ? percent : percent / 25 * 25;
        if (step == shown_)
            return;
        shown_ = step;
        PrintOut(console_ ? L"\rsent %llu of %llu bytes (%u%%)" : L"sent %llu of %llu bytes (%u%%)\n",
                 static_cast<unsigned long long>(sent), static_cast<unsigned long long>(total_),
                 percent);
        if (console_ && sent == total_)
            PrintOut(L"\n");
    }

private:
    uint64_t total_;
    bool console_ = false;
    unsigned shown_ = ~0u;
};

// The job's JOB_INFO_1W, read into `buffer`. ERROR_SUCCESS, or the spooler's code (kNoReason
// when it set none).
DWORD ReadJob(HANDLE printer, DWORD jobId, std::vector<BYTE>& buffer)
{
    // The job's texts can grow between asking for the size and reading; ask again while they do.
    for (int attempt = 0; attempt < kJobReadAttempts; ++attempt) {
        DWORD needed = 0;
        SetLastError(ERROR_SUCCESS);
        if (GetJobW(printer, jobId, 1, buffer.data(), DWORD(buffer.size()), &needed))
            return buffer.size() >= sizeof(JOB_INFO_1W) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return error != ERROR_SUCCESS ? error : kNoReason;
        buffer.resize(needed);
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// A queue prints in the background on Windows: wait until the job has left the queue, and
// report an error the spooler marks on it, or a job still queued after a minute.
int WaitForJob(HANDLE printer, DWORD jobId, const std::wstring& queue)
{
    std::vector<BYTE> buffer;
    for (DWORD waited = 0;; waited += kJobPollMilliseconds) {
        DWORD status = ReadJob(printer, jobId, buffer);
        // Windows answers 87 for a job that has left the queue. Wine's spooler runs the job
        // inside EndDocPrinter and then fails GetJobW for it without setting any code.
        if (status == ERROR_INVALID_PARAMETER || status == kNoReason)
            return 0;  // the job has gone: it was printed
        if (status != ERROR_SUCCESS)
            return ReportFailure(L"GetJobW for job " + std::to_wstring(jobId) + L" on " + queue,
                                 status);
        auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
        if (job->Status & (JOB_STATUS_ERROR | JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT |
                           JOB_STATUS_BLOCKED_DEVQ | JOB_STATUS_USER_INTERVENTION)) {
            PrintErr(L"portmonctl: job %lu on %ls failed: %ls (status 0x%lx)\n", jobId,
                     queue.c_str(), job->pStatus ? job->pStatus : L"printer error", job->Status);
            return kExitFailure;
        }
        if (job->Status & JOB_STATUS_PRINTED)
            return 0;
        if (waited >= kJobWaitMilliseconds) {
            PrintErr(L"portmonctl: job %lu is still in the queue %ls after a minute; it has not"
                     L" been printed (see the queue, or print with --no-wait)\n", jobId,
                     queue.c_str());
            return kExitFailure;
        }
        Sleep(kJobPollMilliseconds);
    }
}

// A document that cannot be completed: a queue drops the job, so no partial document is ever
// printed; a port has sent what it had already and only its connection is ended.
void AbandonDocument(HANDLE printer, bool isPort)
{
    if (isPort)
        EndDocPrinter(printer);
    else
        AbortPrinter(printer);
}

}  // namespace

int RunPrint(int argc, wchar_t** argv, int first)
{
    static const KnownOption kOptions[] = {
        {L"--port", true}, {L"--printer", true}, {L"--title", true}, {L"--no-wait", false}};
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, kOptions, 4, 1, 1, L"print", line))
        return kExitUsage;
    const std::wstring* port = line.Value(L"--port");
    const std::wstring* queue = line.Value(L"--printer");
    if ((port == nullptr) == (queue == nullptr)) {
        PrintErr(L"portmonctl print: give either --port NAME or --printer NAME\n");
        return kExitUsage;
    }
    const std::wstring& path = line.words[0];

    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return ReportFailure(L"opening " + path, GetLastError());
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        return ReportFailure(L"reading the size of " + path, GetLastError());

    // "NAME, Port" makes the spooler hand the document straight to the port's monitor.
    std::wstring target = port != nullptr ? *port + L", Port" : *queue;
    PrinterHandle printer;
    if (!printer.Open(target.c_str(), nullptr))
        return ReportFailure(L"OpenPrinterW for \"" + target + L"\"", GetLastError());

    std::wstring title = line.Has(L"--title") ? *line.Value(L"--title") : path;
    DOC_INFO_1W document = {};
    document.pDocName = title.data();
    document.pDatatype = const_cast<wchar_t*>(L"RAW");
    // A monitor may fail without setting an error code; a code left from before must not pass
    // for the reason.
    SetLastError(ERROR_SUCCESS);
    DWORD jobId = StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&document));
    if (jobId == 0)
        return ReportFailure(L"StartDocPrinterW on \"" + target + L"\"", GetLastError());

    std::vector<BYTE> chunk(kChunkBytes);
    uint64_t sent = 0;
    Progress progress(uint64_t(size.QuadPart));
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), kChunkBytes, &read, nullptr)) {
            DWORD error = GetLastError();
            AbandonDocument(printer.get(), port != nullptr);
            return ReportFailure(L"reading " + path, error);
        }
        if (read == 0)
            break;
        DWORD offset = 0;
        while (offset < read) {
            DWORD written = 0;
            SetLastError(ERROR_SUCCESS);
            BOOL accepted =
                WritePrinter(printer.get(), chunk.data() + offset, read - offset, &written);
            if (!accepted || written == 0) {
                DWORD error = GetLastError();
                AbandonDocument(printer.get(), port != nullptr);
                std::wstring what = L"WritePrinter on \"" + target + L"\" after " +
                                    std::to_wstring(sent + offset) + L" bytes";
                if (accepted) {
                    PrintErr(L"portmonctl: %ls failed: the printer took no more data\n",
                             what.c_str());
                    return kExitFailure;
                }
                return ReportFailure(what, error);
            }
            offset += written;
        }
        sent += read;
        progress.Update(sent);
    }
    SetLastError(ERROR_SUCCESS);
    if (!EndDocPrinter(printer.get()))
        return ReportFailure(L"EndDocPrinter on \"" + target + L"\"", GetLastError());
    if (queue != nullptr && !line.Has(L"--no-wait")) {
        int result = WaitForJob(printer.get(), jobId, *queue);
        if (result != 0)
            return result;
    }
    PrintOut(L"printed %llu bytes of %ls to %ls\n", static_cast<unsigned long long>(sent),
             path.c_str(), target.c_str());
    return 0;
}
