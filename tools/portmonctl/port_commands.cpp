// ports, add, set, delete, show and test: the port commands, each through one Xcv session, since
// a spooler may start a fresh monitor instance for every session.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "monitor_identity.h"
#include "spooler_ports.h"
#include "xcv_client.h"

namespace {

// What a port's configuration looks like on one line: NAME ADDRESS:PORT.
void PrintPortLine(const PortConfig& config)
{
    // The fields come from the monitor; BoundedLength-style reads keep us inside them.
    std::wstring name(config.portName, wcsnlen(config.portName, kPortConfigTextUnits));
    std::wstring address(config.address, wcsnlen(config.address, kPortConfigTextUnits));
    PrintOut(L"%ls %ls:%lu\n", name.c_str(), address.c_str(), config.portNumber);
}

// The names of the ports that the spooler lists as ours, in its order.
bool ListOurPorts(std::vector<std::wstring>& names)
{
    std::vector<SpoolerPort> ports;
    DWORD status = ListSpoolerPorts(ports);
    if (status != ERROR_SUCCESS) {
        ReportFailure(L"EnumPortsW", status);
        return false;
    }
    for (const SpoolerPort& port : ports) {
        if (!port.name.empty() && lstrcmpiW(port.monitor.c_str(), kMonitorName) == 0)
            names.push_back(port.name);
    }
    return true;
}

// A new port's name that the spooler already lists, for this monitor or any other: 183 with the
// system's text.
int ReportNameTaken(const std::wstring& name)
{
    PrintErr(L"portmonctl: the spooler already has a port named %ls: %ls (error %lu)\n",
             name.c_str(), SystemErrorText(ERROR_ALREADY_EXISTS).c_str(),
             DWORD(ERROR_ALREADY_EXISTS));
    return kExitFailure;
}

// PortData, then AddPort or ModifyPort, on one session (the pending entry lives in its instance).
// A new port is refused when the spooler lists its name already (the monitor would otherwise
// store it over the existing one); `check` also has the monitor test the printer's connection.
int StorePort(const std::wstring& name, const Endpoint& endpoint,
              bool create, bool check)
{
    XcvSession session;
    if (!OpenSession(session, SERVER_ACCESS_ADMINISTER))
        return kExitFailure;

    PortConfig config = MakePortConfig(name, endpoint.address, endpoint.portNumber, create);
    std::wstring target = endpoint.address + L":" + std::to_wstring(endpoint.portNumber);
    if (create) {
        DWORD exists = 0;
        DWORD status = session.Call(L"PortExists", name.c_str(), TextBytes(name), &exists,
                                    sizeof(exists), nullptr);
        if (status != ERROR_SUCCESS)
            return ReportFailure(L"PortExists for " + name, status);
        if (exists != 0)
            return ReportNameTaken(name);
    }
    if (check) {
        // The name again (another administrator may have taken it meanwhile) and a connection.
        DWORD status = session.Call(L"PortIsValid", &config, sizeof(config), nullptr, 0, nullptr);
        if (status == ERROR_ALREADY_EXISTS)
            return ReportNameTaken(name);
        if (status != ERROR_SUCCESS)
            return ReportFailure(L"PortIsValid: connecting to the printer at " + target, status);
    }
    DWORD status = session.Call(L"PortData", &config, sizeof(config), nullptr, 0, nullptr);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"PortData for " + name, status);
    const wchar_t* store = create ? L"AddPort" : L"ModifyPort";
    status = session.CallWithName(store, name);
    if (status != ERROR_SUCCESS)
        return ReportFailure(std::wstring(store) + L" for " + name, status);
    PrintOut(L"%ls %ls -> %ls\n", create ? L"added" : L"changed", name.c_str(), target.c_str());
    return 0;
}

int RunStore(int argc, wchar_t** argv, int first, const wchar_t* subcommand, bool create)
{
    static const KnownOption kOptions[] = {{L"--no-check", false}};
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, kOptions, create ? 1 : 0, 2, 2, subcommand, line))
        return kExitUsage;
    Endpoint endpoint;
    if (!CheckPortName(line.words[0]) ||
        !ParseEndpoint(line.words[1], kDefaultPortNumber, endpoint))
        return kExitUsage;
    return StorePort(line.words[0], endpoint, create,
                     create && !line.Has(L"--no-check"));
}

}  // namespace

int RunPorts(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 0, 0, L"ports", line))
        return kExitUsage;
    std::vector<std::wstring> names;
    if (!ListOurPorts(names))
        return kExitFailure;
    if (names.empty())
        return 0;

    XcvSession session;
    if (!OpenSession(session, SERVER_ACCESS_ENUMERATE))
        return kExitFailure;
    int result = 0;
    for (const std::wstring& name : names) {
        PortConfig config;
        DWORD status = QueryPortConfig(session, name, config);
        if (status == ERROR_SUCCESS)
            PrintPortLine(config);
        else
            result = ReportFailure(L"GetDefaultPortConfig for " + name, status);
    }
    return result;
}

int RunAdd(int argc, wchar_t** argv, int first)
{
    return RunStore(argc, argv, first, L"add", true);
}

int RunSet(int argc, wchar_t** argv, int first)
{
    return RunStore(argc, argv, first, L"set", false);
}

int RunDelete(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 1, 1, L"delete", line))
        return kExitUsage;
    XcvSession session;
    if (!OpenSession(session, SERVER_ACCESS_ADMINISTER))
        return kExitFailure;
    DWORD status = session.CallWithName(L"DeletePort", line.words[0]);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"DeletePort for " + line.words[0], status);
    PrintOut(L"deleted %ls\n", line.words[0].c_str());
    return 0;
}

int RunShow(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 1, 1, L"show", line))
        return kExitUsage;
    XcvSession session;
    if (!OpenSession(session, SERVER_ACCESS_ENUMERATE))
        return kExitFailure;
    PortConfig config;
    DWORD status = QueryPortConfig(session, line.words[0], config);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"GetDefaultPortConfig for " + line.words[0], status);
    PrintPortLine(config);
    return 0;
}

int RunTest(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 1, 1, L"test", line))
        return kExitUsage;
    Endpoint endpoint;
    if (!ParseEndpoint(line.words[0], kDefaultPortNumber, endpoint))
        return kExitUsage;
    XcvSession session;
    if (!OpenSession(session, SERVER_ACCESS_ENUMERATE))
        return kExitFailure;
    // Without the new-port flag the monitor skips the name and only tries the connection.
    PortConfig config = MakePortConfig(L"", endpoint.address, endpoint.portNumber, FALSE);
    std::wstring target = endpoint.address + L":" + std::to_wstring(endpoint.portNumber);
    DWORD status = session.Call(L"PortIsValid", &config, sizeof(config), nullptr, 0, nullptr);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"connecting to the printer at " + target, status);
    PrintOut(L"%ls accepts connections\n", target.c_str());
    return 0;
}
