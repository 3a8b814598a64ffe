#include "loopback_sink.h"

#include <chrono>

namespace {

// A short poll, so the thread notices the end of the test without blocking calls to cancel.
bool Readable(SOCKET socket)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout = {0, 50 * 1000};
    return select(0, &set, nullptr, nullptr, &timeout) > 0;
}

// Small enough that a printer which stops reading closes its window after little data.
constexpr int kHoldReceiveBytes = 8 * 1024;

}  // namespace

LoopbackSink::LoopbackSink(SinkMode mode, const char* address) : mode_(mode)
{
    WSADATA data;
    socketsStarted_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;

    sockaddr_in endpoint = {};
    endpoint.sin_family = AF_INET;
    endpoint.sin_addr.s_addr = inet_addr(address);
    endpoint.sin_port = 0;
    if ((ntohl(endpoint.sin_addr.s_addr) >> 24) != 127)
        return;  // loopback only

    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ == INVALID_SOCKET)
        return;
    if (mode_ == SinkMode::Hold) {
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF,
                   reinterpret_cast<const char*>(&kHoldReceiveBytes), sizeof(kHoldReceiveBytes));
    }
    int length = sizeof(endpoint);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) != 0
        || getsockname(listener_, reinterpret_cast<sockaddr*>(&endpoint), &length) != 0) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    port_ = ntohs(endpoint.sin_port);

    if (mode_ == SinkMode::Refuse || listen(listener_, 4) != 0) {
        // Bound and closed again without listening: the port refuses connections.
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    thread_ = std::thread([this] { Serve(); });
}

LoopbackSink::~LoopbackSink()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (listener_ != INVALID_SOCKET)
        closesocket(listener_);
    if (socketsStarted_)
        WSACleanup();
}

void LoopbackSink::SetReply(std::string reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reply_ = std::move(reply);
}

void LoopbackSink::ResumeReading()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reading_ = true;
    }
    changed_.notify_all();
}

size_t LoopbackSink::Accepted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

bool LoopbackSink::WaitForEnded(size_t count)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return documents_.size() >= count; });
}

std::vector<std::string> LoopbackSink::Documents() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return documents_;
}

bool LoopbackSink::Stopping() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

void LoopbackSink::Serve()
{
    while (!Stopping()) {
        if (!Readable(listener_))
            continue;
        const SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++accepted_;
        }
        changed_.notify_all();
        ServeConnection(connection);
    }
}

void LoopbackSink::ServeConnection(SOCKET connection)
{
    if (mode_ == SinkMode::Close) {
        closesocket(connection);
        Finish({});
        return;
    }

    std::string reply;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        reply = reply_;
        if (mode_ == SinkMode::Hold)
            changed_.wait(lock, [&] { return reading_ || stop_; });
    }
    if (!reply.empty())
        send(connection, reply.data(), static_cast<int>(reply.size()), 0);

    std::string bytes;
    char buffer[64 * 1024];
    while (!Stopping()) {
        if (!Readable(connection))
            continue;
        const int received = recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(received));
    }
    closesocket(connection);
    Finish(std::move(bytes));
}

void LoopbackSink::Finish(std::string bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        documents_.push_back(std::move(bytes));
    }
    changed_.notify_all();
}
