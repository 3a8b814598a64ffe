// WritePort and ReadPort: the job's bytes between the spooler and the connected printer.
#include <algorithm>
#include <climits>

#include "../monitor/entry_points.h"
#include "../monitor/port_table.h"
#include "debug_output.h"
#include "socket_wait.h"

namespace {

// A DWORD count as the int length of send and recv; they take (or give) at most that much.
int SocketLength(DWORD bytes) noexcept
{
    return static_cast<int>(std::min<DWORD>(bytes, INT_MAX));
}

}  // namespace

// The spooler hands over the next piece of the document. The buffer goes to send directly, as
// it is. The socket is non-blocking: when it can take the data there is no wait at all; when it
// is full, each wait lasts at most a second. TRUE with the bytes accepted through pcbWritten,
// possibly fewer than offered when the printer stops taking data part-way (the spooler sends
// the rest again). FALSE, with pcbWritten untouched, when the handle is NULL
// (ERROR_INVALID_HANDLE), when an argument is missing, when the socket takes nothing within a
// second, and on a send error; each of the last three is reported by a debugger text.
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten)
{
    auto* entry = static_cast<PortEntry*>(hPort);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

    const SOCKET socket = entry->socket;
    // Every test runs, so each missing argument is reported.
    bool usable = true;
    if (socket == INVALID_SOCKET) {
        Diagnose(L"Socket not present");
        usable = false;
    }
    if (pBuffer == nullptr) {
        Diagnose(L"Send Buffer not present");
        usable = false;
    }
    if (cbBuf == 0) {
        Diagnose(L"Buffer lenght 0");
        usable = false;
    }
    if (pcbWritten == nullptr) {
        Diagnose(L"Sent data size variable not present");
        usable = false;
    }
    if (!usable)
        return FALSE;

    DWORD sent = 0;
    for (;;) {
        const int accepted = send(socket, reinterpret_cast<const char*>(pBuffer + sent),
                                  SocketLength(cbBuf - sent), 0);
        if (accepted == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK) {
                Diagnose(L"Socket send error");
                return FALSE;
            }
        } else {
            sent += static_cast<DWORD>(accepted);
            if (sent == cbBuf)
                break;
        }
        // The socket is full: wait for room, at most a second without progress.
        if (!WaitSocketReady(socket, SocketDirection::Writing)) {
            if (sent == 0) {
                Diagnose(L"Socket not ready for writing");
                return FALSE;
            }
            break;
        }
    }
    *pcbWritten = sent;
    return TRUE;
}

// The spooler reads back from the printer. TRUE with the bytes received through pcbRead; 0 bytes
// when the printer has closed its side. FALSE, silently and with pcbRead untouched, when no
// connection is open, an argument is missing, nothing arrives within a second, or recv fails;
// a NULL handle also sets ERROR_INVALID_HANDLE.
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead)
{
    auto* entry = static_cast<PortEntry*>(hPort);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

    const SOCKET socket = entry->socket;
    if (socket == INVALID_SOCKET || pBuffer == nullptr || cbBuffer == 0 || pcbRead == nullptr)
        return FALSE;

    const auto receive = [&] {
        return recv(socket, reinterpret_cast<char*>(pBuffer), SocketLength(cbBuffer), 0);
    };
    int received = receive();
    if (received == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK
            || !WaitSocketReady(socket, SocketDirection::Reading))
            return FALSE;
        received = receive();
        if (received == SOCKET_ERROR)
            return FALSE;
    }
    *pcbRead = static_cast<DWORD>(received);
    return TRUE;
}
