// A printer on a loopback address for the document tests: a listening socket on an ephemeral
// port of 127.x.x.x and one thread that serves its connections one after another.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win32.h"

enum class SinkMode {
    Record,  // accept and record every byte until the monitor closes its side
    Refuse,  // nothing listens: the port is closed and connections are refused
    Close,   // accept and close at once
    Hold,    // accept and read nothing (small receive window) until ResumeReading(); then Record
};

class LoopbackSink {
public:
    // `address` must be a loopback address (127.x.x.x).
    explicit LoopbackSink(SinkMode mode, const char* address = "127.0.0.1");
    ~LoopbackSink();
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;

    u_short Port() const { return port_; }

    // Bytes sent to every accepted connection before it is read (Record and Hold).
    void SetReply(std::string reply);
    // Hold: start reading and recording.
    void ResumeReading();

    // Connections accepted so far.
    size_t Accepted() const;
    // Waits up to ten seconds until `count` connections have ended; false on time-out.
    bool WaitForEnded(size_t count);
    // The bytes received on each ended connection, in accept order ("" for Close).
    std::vector<std::string> Documents() const;

private:
    void Serve();
    void ServeConnection(SOCKET connection);
    void Finish(std::string bytes);
    bool Stopping() const;

    SinkMode mode_;
    SOCKET listener_ = INVALID_SOCKET;
    u_short port_ = 0;
    bool socketsStarted_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool reading_ = false;
    std::string reply_;
    size_t accepted_ = 0;
    std::vector<std::string> documents_;
    std::thread thread_;
};
