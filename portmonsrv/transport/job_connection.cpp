// StartDocPort and EndDocPort: one TCP connection to the port's printer per document, and the
// job's status report when the document ends.
#include <cstring>

#include "../monitor/entry_points.h"
#include "../monitor/monitor_lock.h"
#include "../monitor/port_table.h"
#include "../monitor/spooler_host.h"
#include "address_text.h"

namespace {

// closesocket waits up to five seconds for queued data to reach the printer.
constexpr linger kJobLinger = {1, 5};
static_assert(sizeof(linger) == 4);

// Keeps the thread's last error across clean-up calls, so a failure reports its own cause.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

// Closes the job connection with the linger setting. The socket goes back to blocking mode
// first: a lingering closesocket on a non-blocking socket fails with WSAEWOULDBLOCK and would
// leave the port connected. FALSE, with the port still connected, when closesocket fails.
BOOL CloseJobSocket(PortEntry* entry) noexcept
{
    u_long nonBlocking = 0;
    ioctlsocket(entry->socket, FIONBIO, &nonBlocking);
    setsockopt(entry->socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&kJobLinger),
               sizeof(kJobLinger));
    if (closesocket(entry->socket) != 0)
        return FALSE;
    entry->socket = INVALID_SOCKET;
    return TRUE;
}

// The printer's IPv4 endpoint. Address and port number are copied under MonitorLock: "PortData"
// may rewrite them while a document starts. Only the low 16 bits of the port number count.
sockaddr_in PrinterEndpoint(const PortEntry* entry) noexcept
{
    wchar_t address[kPortAddressUnits];
    DWORD portNumber;
    {
        MonitorLockGuard lock;
        std::memcpy(address, entry->address, sizeof(address));
        portNumber = entry->portNumber;
    }
    sockaddr_in endpoint = {};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(static_cast<u_short>(portNumber & 0xFFFF));
    endpoint.sin_addr.s_addr = AddressTextToIPv4(address, kPortAddressUnits);
    return endpoint;
}

// Opens the job connection into `socket`. The connect blocks for as long as the system's own
// connection time-out; once connected the socket is non-blocking, so that WritePort and ReadPort
// never wait more than their one second. On failure the socket is closed again (the port stays
// connected only if that close fails) and the failing call's error is the last error.
bool ConnectJobSocket(PortEntry* entry) noexcept
{
    entry->socket = socket(AF_INET, SOCK_STREAM, 0);
    if (entry->socket == INVALID_SOCKET)
        return false;

    const sockaddr_in endpoint = PrinterEndpoint(entry);
    u_long nonBlocking = 1;
    if (connect(entry->socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) == 0
        && ioctlsocket(entry->socket, FIONBIO, &nonBlocking) == 0)
        return true;

    LastErrorKeeper keep;
    CloseJobSocket(entry);
    return false;
}

}  // namespace

// The spooler starts a document on the port: opens the printer for the job's status report and
// connects to the printer. FALSE for a NULL handle, when the port's previous connection is
// still open (that document keeps its printer handle), when OpenPrinterW fails, and when no
// connection can be made; the last error is the failing call's own. A failure after OpenPrinterW
// closes the printer handle again, so nothing leaks while the spooler retries. The document
// level and info are not used; the printer name may be NULL and the job id 0.
BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD /*Level*/,
                         LPBYTE /*pDocInfo*/)
{
    auto* entry = static_cast<PortEntry*>(hPort);
    if (entry == nullptr)
        return FALSE;

    const bool connected = entry->socket != INVALID_SOCKET;
    HANDLE printer = nullptr;
    if (!SpoolerHost.openPrinter(pPrinterName, &printer, nullptr))
        return FALSE;
    if (connected) {
        LastErrorKeeper keep;
        SpoolerHost.closePrinter(printer);
        return FALSE;
    }

    entry->printer = printer;
    entry->jobId = JobId;
    if (ConnectJobSocket(entry))
        return TRUE;

    LastErrorKeeper keep;
    SpoolerHost.closePrinter(entry->printer);
    entry->printer = nullptr;
    return FALSE;
}

// The spooler ends the document: closes the connection (up to five seconds for the last data to
// reach the printer), marks the job as sent to the printer and closes the printer handle. The
// job is marked and the handle closed in every case; the result is TRUE only when a connection
// was open and is now closed. A NULL handle fails with ERROR_INVALID_HANDLE and touches nothing.
BOOL WINAPI EndDocPort(HANDLE hPort)
{
    auto* entry = static_cast<PortEntry*>(hPort);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

    const BOOL closed = entry->socket != INVALID_SOCKET && CloseJobSocket(entry);

    LastErrorKeeper keep;
    SpoolerHost.setJob(entry->printer, entry->jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
    SpoolerHost.closePrinter(entry->printer);
    // Cleared so that a repeated EndDocPort cannot close the handle twice.
    entry->printer = nullptr;
    return closed;
}
