// What printsink is asked to do, read from its command line.
#pragma once

#include <string>

enum class SinkMode {
    Save,         // accept every connection and save its bytes as one job
    Refuse,       // hold the port without listening: every connection attempt is refused
    CloseAtOnce,  // accept, then drop the connection at once without reading
    StopReading,  // accept and never read: the sender's buffers fill up and stay full
};

struct SinkOptions {
    unsigned port = 0;                  // 0: any free port
    std::wstring outputFolder = L"printsink-jobs";
    SinkMode mode = SinkMode::Save;
    unsigned jobLimit = 0;              // exit after this many saved jobs; 0: no limit
    unsigned idleExitSeconds = 0;       // exit after this long without activity; 0: never
};

// Fills `options` from the arguments. FALSE with a message on stderr when they are wrong;
// `wantsHelp` is set (and TRUE returned) for --help.
bool ParseSinkOptions(int argc, wchar_t** argv, SinkOptions& options, bool& wantsHelp);

void PrintSinkUsage();
