// printsink's socket loop. One thread and select(): every connection is a job that is saved as
// its bytes arrive, so jobs of any size pass without being held in memory.
#include "sink_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sha256.h"

namespace {

// select() on Windows takes at most FD_SETSIZE sockets; the listener needs one of them.
constexpr size_t kMaxConnections = FD_SETSIZE - 1;

class Socket {
public:
    explicit Socket(SOCKET socket = INVALID_SOCKET) noexcept : socket_(socket) {}
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const noexcept { return socket_; }
    void Reset(SOCKET socket) noexcept
    {
        Close();
        socket_ = socket;
    }
    void Close() noexcept
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_;
};

struct Connection {
    Socket socket;
    unsigned connectionNumber = 0;
    unsigned jobNumber = 0;  // 0 until the first byte arrives: a connection without data is no job
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring fileName;
    uint64_t bytes = 0;
    Sha256 hash;

    explicit Connection(SOCKET accepted) : socket(accepted) {}
    ~Connection()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

#if defined(__GNUC__)
void PrintLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif
void PrintLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    // Tests and the demo read the lines while the sink runs.
    std::fflush(stdout);
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t unit : text)
        narrow += unit < 0x80 ? char(unit) : '?';
    return narrow;
}

class Sink {
public:
    explicit Sink(const SinkOptions& options) : options_(options) {}

    int Run()
    {
        if (!Start())
            return 1;
        if (options_.mode == SinkMode::Refuse) {
            WaitIdle();
            return 0;
        }
        Loop();
        return 0;
    }

private:
    bool Start()
    {
        listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (listener_.get() == INVALID_SOCKET)
            return Fail("socket");
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(u_short(options_.port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, never other hosts
        if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            return Fail("bind to 127.0.0.1");
        int length = sizeof(address);
        if (getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return Fail("getsockname");
        // Refuse mode binds without listening: the port stays ours and every connect is refused.
        if (options_.mode != SinkMode::Refuse && listen(listener_.get(), SOMAXCONN) != 0)
            return Fail("listen");
        if (options_.mode == SinkMode::Save && !CreateDirectoryW(options_.outputFolder.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            std::fprintf(stderr, "printsink: cannot create %s (error %lu)\n",
                         Narrow(options_.outputFolder).c_str(), GetLastError());
            return false;
        }
        static const char* const kModeNames[] = {"save", "refuse", "close-at-once", "stop-reading"};
        PrintLine("printsink on 127.0.0.1:%u, mode %s", ntohs(address.sin_port),
                  kModeNames[int(options_.mode)]);
        lastActivity_ = GetTickCount64();
        return true;
    }

    bool Fail(const char* what)
    {
        std::fprintf(stderr, "printsink: %s failed (error %d)\n", what, WSAGetLastError());
        return false;
    }

    bool IdleTooLong() const
    {
        return options_.idleExitSeconds != 0 &&
               GetTickCount64() - lastActivity_ >= uint64_t(options_.idleExitSeconds) * 1000;
    }

    void WaitIdle()
    {
        while (!IdleTooLong())
            Sleep(200);
        PrintLine("idle for %u s, exiting", options_.idleExitSeconds);
    }

    void Loop()
    {
        for (;;) {
            if (options_.jobLimit != 0 && jobsSaved_ >= options_.jobLimit) {
                PrintLine("%u jobs saved, exiting", jobsSaved_);
                return;
            }
            if (IdleTooLong()) {
                PrintLine("idle for %u s, exiting", options_.idleExitSeconds);
                return;
            }
            fd_set readable;
            FD_ZERO(&readable);
            if (connections_.size() < kMaxConnections)
                FD_SET(listener_.get(), &readable);
            for (const auto& connection : connections_) {
                if (options_.mode == SinkMode::Save)
                    FD_SET(connection->socket.get(), &readable);
            }
            timeval wait = {0, 200 * 1000};
            int ready = select(0, &readable, nullptr, nullptr, &wait);
            if (ready == SOCKET_ERROR) {
                Fail("select");
                return;
            }
            if (ready == 0)
                continue;
            if (FD_ISSET(listener_.get(), &readable))
                Accept();
            for (size_t i = 0; i < connections_.size();) {
                Connection& connection = *connections_[i];
                if (FD_ISSET(connection.socket.get(), &readable) && !Receive(connection)) {
                    connections_.erase(connections_.begin() + i);
                    continue;
                }
                ++i;
            }
        }
    }

    void Accept()
    {
        SOCKET accepted = accept(listener_.get(), nullptr, nullptr);
        if (accepted == INVALID_SOCKET)
            return;
        lastActivity_ = GetTickCount64();
        ++connectionsAccepted_;
        switch (options_.mode) {
        case SinkMode::CloseAtOnce: {
            // An abortive close (reset), so the sender learns of it at its next send.
            linger abortive = {1, 0};
            setsockopt(accepted, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abortive),
                       sizeof(abortive));
            closesocket(accepted);
            PrintLine("connection %u: closed at once", connectionsAccepted_);
            return;
        }
        case SinkMode::StopReading:
            PrintLine("connection %u: accepted, not reading", connectionsAccepted_);
            break;
        default:
            break;
        }
        auto connection = std::make_unique<Connection>(accepted);
        connection->connectionNumber = connectionsAccepted_;
        connections_.push_back(std::move(connection));
    }

    // FALSE when the connection has ended and is to be dropped.
    bool Receive(Connection& connection)
    {
        char buffer[64 * 1024];
        int received = recv(connection.socket.get(), buffer, sizeof(buffer), 0);
        lastActivity_ = GetTickCount64();
        if (received > 0)
            return Save(connection, buffer, DWORD(received));
        if (received == 0) {
            Finish(connection, nullptr);
            return false;
        }
        char reason[64];
        std::snprintf(reason, sizeof(reason), "connection lost, error %d", WSAGetLastError());
        Finish(connection, reason);
        return false;
    }

    bool Save(Connection& connection, const char* data, DWORD bytes)
    {
        if (connection.jobNumber == 0) {
            connection.jobNumber = ++jobsStarted_;
            wchar_t name[32];
            swprintf(name, 32, L"\\job-%04u.bin", connection.jobNumber);
            connection.fileName = options_.outputFolder + name;
            connection.file = CreateFileW(connection.fileName.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (connection.file == INVALID_HANDLE_VALUE) {
                char reason[64];
                std::snprintf(reason, sizeof(reason), "cannot create its file, error %lu",
                              GetLastError());
                Finish(connection, reason);
                return false;
            }
        }
        DWORD written = 0;
        if (!WriteFile(connection.file, data, bytes, &written, nullptr) || written != bytes) {
            char reason[64];
            std::snprintf(reason, sizeof(reason), "cannot write its file, error %lu",
                          GetLastError());
            Finish(connection, reason);
            return false;
        }
        connection.bytes += bytes;
        connection.hash.Update(data, bytes);
        return true;
    }

    // One line per connection: a saved job, an aborted one (with `failure`), or no data at all.
    void Finish(Connection& connection, const char* failure)
    {
        if (connection.file != INVALID_HANDLE_VALUE) {
            CloseHandle(connection.file);
            connection.file = INVALID_HANDLE_VALUE;
        }
        if (connection.jobNumber == 0) {
            PrintLine("connection %u: closed without data%s%s", connection.connectionNumber,
                      failure ? ", " : "", failure ? failure : "");
            return;
        }
        std::string digest = connection.hash.FinishHex();
        if (failure != nullptr) {
            PrintLine("job %u: %llu bytes, sha256 %s, aborted (%s)", connection.jobNumber,
                      static_cast<unsigned long long>(connection.bytes), digest.c_str(), failure);
            return;
        }
        ++jobsSaved_;
        PrintLine("job %u: %llu bytes, sha256 %s, saved as %s", connection.jobNumber,
                  static_cast<unsigned long long>(connection.bytes), digest.c_str(),
                  Narrow(connection.fileName).c_str());
    }

    const SinkOptions& options_;
    Socket listener_;
    std::vector<std::unique_ptr<Connection>> connections_;
    uint64_t lastActivity_ = 0;
    unsigned connectionsAccepted_ = 0;
    unsigned jobsStarted_ = 0;
    unsigned jobsSaved_ = 0;
};

}  // namespace

int RunSink(const SinkOptions& options)
{
    WSADATA wsaData;
    int started = WSAStartup(MAKEWORD(2, 2), &wsaData);
    if (started != 0) {
        std::fprintf(stderr, "printsink: WSAStartup failed (error %d)\n", started);
        return 1;
    }
    int result = Sink(options).Run();
    WSACleanup();
    return result;
}
