// Parsing of subcommand arguments, addresses and port names.
#include "command_line.h"

#include <cwchar>

#include "console.h"

namespace {

// The monitor reads stored port names of up to 245 characters back at start-up.
constexpr size_t kMaxPortNameLength = 245;

}  // namespace

bool ParseDecimal(const std::wstring& text, DWORD& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    unsigned long long number = 0;
    for (wchar_t unit : text) {
        if (unit < L'0' || unit > L'9')
            return false;
        number = number * 10 + unsigned(unit - L'0');
    }
    if (number > 0xFFFFFFFFull)
        return false;
    value = DWORD(number);
    return true;
}

bool ParseCommandLine(int argc, wchar_t** argv, int first, const KnownOption* known,
                      size_t knownCount, size_t minWords, size_t maxWords, const wchar_t* command,
                      CommandLine& line)
{
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        std::wstring argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != L'-') {
            line.words.push_back(argument);
            continue;
        }
        if (argument == L"--") {
            optionsEnded = true;
            continue;
        }
        const KnownOption* option = nullptr;
        for (size_t s = 0; s < knownCount; ++s) {
            if (argument == known[s].name)
                option = &known[s];
        }
        if (option == nullptr) {
            PrintErr(L"portmonctl %ls: unknown option %ls (see portmonctl %ls --help)\n", command,
                     argument.c_str(), command);
            return false;
        }
        std::wstring value;
        if (option->takesValue) {
            if (i + 1 >= argc) {
                PrintErr(L"portmonctl %ls: %ls needs a value\n", command, option->name);
                return false;
            }
            value = argv[++i];
        }
        line.options[option->name] = value;
    }
    if (line.words.size() < minWords || line.words.size() > maxWords) {
        PrintErr(L"portmonctl %ls: wrong number of arguments (see portmonctl %ls --help)\n",
                 command, command);
        return false;
    }
    return true;
}

bool ParseEndpoint(const std::wstring& text, DWORD defaultPort, Endpoint& endpoint)
{
    std::wstring address = text;
    DWORD portNumber = defaultPort;
    size_t colon = text.find(L':');
    if (colon != std::wstring::npos) {
        address = text.substr(0, colon);
        if (!ParseDecimal(text.substr(colon + 1), portNumber) || portNumber == 0 ||
            portNumber > 65535) {
            PrintErr(L"portmonctl: \"%ls\": the TCP port must be a number from 1 to 65535\n",
                     text.c_str());
            return false;
        }
    }

    int components = 0;
    size_t start = 0;
    bool valid = true;
    while (valid) {
        size_t dot = address.find(L'.', start);
        std::wstring component = address.substr(start, dot == std::wstring::npos ? dot : dot - start);
        DWORD value = 0;
        valid = component.size() <= 3 && ParseDecimal(component, value) && value <= 255;
        ++components;
        if (dot == std::wstring::npos)
            break;
        start = dot + 1;
    }
    if (!valid || components != 4) {
        PrintErr(L"portmonctl: \"%ls\" is not a dotted IPv4 address such as 127.0.0.1\n",
                 address.c_str());
        return false;
    }
    endpoint.address = address;
    endpoint.portNumber = portNumber;
    return true;
}

bool CheckPortName(const std::wstring& name)
{
    if (name.empty() || name.size() > kMaxPortNameLength) {
        PrintErr(L"portmonctl: a port name has 1 to %u characters\n", unsigned(kMaxPortNameLength));
        return false;
    }
    if (name.find_first_of(L"\\,") != std::wstring::npos) {
        PrintErr(L"portmonctl: a port name may not contain a backslash or a comma\n");
        return false;
    }
    return true;
}
