// Command line of printsink.
#include "sink_options.h"

#include <cstdio>
#include <cwchar>

namespace {

bool ParseUnsigned(const wchar_t* text, unsigned maximum, unsigned& value)
{
    if (text == nullptr || *text == L'\0')
        return false;
    unsigned long long number = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        number = number * 10 + unsigned(*p - L'0');
        if (number > maximum)
            return false;
    }
    value = unsigned(number);
    return true;
}

struct ModeName {
    const wchar_t* name;
    SinkMode mode;
};

constexpr ModeName kModes[] = {
    {L"save", SinkMode::Save},
    {L"refuse", SinkMode::Refuse},
    {L"close-at-once", SinkMode::CloseAtOnce},
    {L"stop-reading", SinkMode::StopReading},
};

}  // namespace

void PrintSinkUsage()
{
    std::fputs(
        "usage: printsink [--port N] [--out FOLDER] [--mode MODE] [--jobs N] [--idle-exit S]\n"
        "\n"
        "A raw TCP printer for tests and demonstrations. It listens on 127.0.0.1 only, prints\n"
        "\"printsink on 127.0.0.1:PORT, mode MODE\" first, saves each connection's bytes as\n"
        "one job file in FOLDER and prints one line per job: its number, byte count and\n"
        "SHA-256. A connection that brings no data is reported but is no job.\n"
        "\n"
        "  --port N        TCP port to listen on; 0 (the default) picks a free one\n"
        "  --out FOLDER    where job files go (default: printsink-jobs)\n"
        "  --mode MODE     save (default); refuse: hold the port but refuse every connection;\n"
        "                  close-at-once: accept and drop each connection unread;\n"
        "                  stop-reading: accept and never read\n"
        "  --jobs N        exit after N saved jobs\n"
        "  --idle-exit S   exit after S seconds without any connection activity\n",
        stdout);
}

bool ParseSinkOptions(int argc, wchar_t** argv, SinkOptions& options, bool& wantsHelp)
{
    wantsHelp = false;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* option = argv[i];
        if (std::wcscmp(option, L"--help") == 0 || std::wcscmp(option, L"-h") == 0) {
            wantsHelp = true;
            return true;
        }
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool known = true;
        bool valid = value != nullptr;
        if (std::wcscmp(option, L"--port") == 0) {
            valid = valid && ParseUnsigned(value, 65535, options.port);
        } else if (std::wcscmp(option, L"--out") == 0) {
            valid = valid && *value != L'\0';
            if (valid)
                options.outputFolder = value;
        } else if (std::wcscmp(option, L"--jobs") == 0) {
            valid = valid && ParseUnsigned(value, 1000000, options.jobLimit);
        } else if (std::wcscmp(option, L"--idle-exit") == 0) {
            valid = valid && ParseUnsigned(value, 86400, options.idleExitSeconds);
        } else if (std::wcscmp(option, L"--mode") == 0) {
            bool found = false;
            for (const ModeName& mode : kModes) {
                if (valid && std::wcscmp(value, mode.name) == 0) {
                    options.mode = mode.mode;
                    found = true;
                }
            }
            valid = found;
        } else {
            known = false;
        }
        if (!known) {
            std::fprintf(stderr, "printsink: unknown option %ls (see --help)\n", option);
            return false;
        }
        if (!valid) {
            std::fprintf(stderr, "printsink: %ls needs a valid value (see --help)\n", option);
            return false;
        }
        ++i;
    }
    return true;
}
