// Arguments of one subcommand: its positional words and its --options, checked against what the
// subcommand accepts.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct KnownOption {
    const wchar_t* name;  // with its dashes, e.g. L"--port"
    bool takesValue;
};

struct CommandLine {
    std::vector<std::wstring> words;
    std::map<std::wstring, std::wstring> options;  // a flag without value maps to L""

    bool Has(const wchar_t* option) const { return options.count(option) != 0; }
    const std::wstring* Value(const wchar_t* option) const
    {
        auto found = options.find(option);
        return found == options.end() ? nullptr : &found->second;
    }
};

// Splits argv[first..] into words and options. FALSE with a message on stderr for an option the
// command does not know, an option without its value, or a word count outside [minWords,
// maxWords]. "--" ends the options.
bool ParseCommandLine(int argc, wchar_t** argv, int first, const KnownOption* known,
                      size_t knownCount, size_t minWords, size_t maxWords, const wchar_t* command,
                      CommandLine& line);

// A printer's address and TCP port as given on the command line: ADDRESS[:PORT].
struct Endpoint {
    std::wstring address;  // dotted IPv4 text, as typed (leading zeros are the monitor's to strip)
    DWORD portNumber = 0;
};

// Accepts a dotted IPv4 address (four decimal components of at most three digits, each at most
// 255) and an optional ":PORT" from 1 to 65535; the port defaults to `defaultPort`. FALSE with a
// message on stderr otherwise.
bool ParseEndpoint(const std::wstring& text, DWORD defaultPort, Endpoint& endpoint);

// A port name the monitor can keep: 1 to 245 characters, no backslash or comma (the spooler
// separates a port from its suffix with a comma: "NAME, Port"). FALSE with a message otherwise.
bool CheckPortName(const std::wstring& name);

// A decimal number without sign that fits 32 bits.
bool ParseDecimal(const std::wstring& text, DWORD& value);
