// portmonctl: the administrator's tool for the VEXA Port Monitor. It works only through the
// public spooler API, as the monitor's user-interface library would: AddMonitorW and
// DeleteMonitorW, EnumPortsW, the Xcv channel (OpenPrinterW on ",XcvMonitor VEXA Port Monitor"
// and XcvDataW) and the print API.
#include <windows.h>

#include <cwchar>

#include "commands.h"
#include "console.h"

namespace {

constexpr Subcommand kSubcommands[] = {
    {L"install", L"[DLLPATH]", L"install the monitor (copying DLLPATH into the system directory)",
     L"Copies DLLPATH, when given, to portmonsrv.dll in the system directory, then registers\n"
     L"the monitor with AddMonitorW as \"VEXA Port Monitor\" for \"Windows x64\".\n",
     RunInstall},
    {L"uninstall", L"[--remove-dll]", L"remove the monitor from the spooler",
     L"DeleteMonitorW for \"VEXA Port Monitor\". --remove-dll also deletes portmonsrv.dll from\n"
     L"the system directory (which fails while the spooler still holds it).\n",
     RunUninstall},
    {L"ports", L"", L"list the monitor's ports with address and TCP port",
     L"One line per port that the spooler lists for the monitor: NAME ADDRESS:PORT.\n", RunPorts},
    {L"add", L"NAME ADDRESS[:PORT] [--no-check]", L"create a port (TCP port 9100 by default)",
     L"Fails when the spooler already has a port NAME (\"PortExists\"), then tests that the\n"
     L"printer accepts a connection (\"PortIsValid\"; --no-check skips only this test), then\n"
     L"creates and stores the port (\"PortData\", \"AddPort\"). ADDRESS is a dotted IPv4\n"
     L"address.\n",
     RunAdd},
    {L"set", L"NAME ADDRESS[:PORT]", L"point an existing port at another printer",
     L"Changes the port's address and TCP port (\"PortData\", \"ModifyPort\").\n", RunSet},
    {L"delete", L"NAME", L"delete a port", L"Removes the port and its stored definition.\n",
     RunDelete},
    {L"show", L"NAME", L"show one port's address and TCP port",
     L"Prints NAME ADDRESS:PORT as the monitor holds it (\"GetDefaultPortConfig\").\n", RunShow},
    {L"test", L"ADDRESS[:PORT]", L"test that a printer accepts a connection",
     L"Has the monitor connect to the printer once (\"PortIsValid\"), as \"add\" does.\n",
     RunTest},
    {L"timeout", L"[SECONDS]", L"show or set the spooler's transmission retry time-out",
     L"Without SECONDS prints the time-out; with it stores the new value first.\n", RunTimeout},
    {L"print", L"FILE (--port NAME | --printer NAME) [--title TEXT] [--no-wait]",
     L"print FILE as one RAW document",
     L"Sends the bytes of FILE unchanged as one document, either through the printer queue\n"
     L"NAME or straight to the port NAME. Through a queue it then waits (up to a minute) until\n"
     L"the job has left the queue, and fails if the spooler marks it with an error or it is\n"
     L"still queued after that minute; --no-wait skips that. Documents of 1 MiB or more show a\n"
     L"progress line.\n",
     RunPrint},
};

void PrintUsage()
{
    PrintOut(L"usage: portmonctl COMMAND [ARGUMENTS]   (portmonctl COMMAND --help for details)\n\n"
             L"Manages the VEXA Port Monitor through the print spooler. Commands that change\n"
             L"something need administrator rights.\n\n");
    for (const Subcommand& command : kSubcommands)
        PrintOut(L"  %-10ls %ls\n", command.name, command.summary);
}

void PrintSubcommandHelp(const Subcommand& command)
{
    PrintOut(L"usage: portmonctl %ls%ls%ls\n\n%ls.\n%ls%ls", command.name,
             *command.usage ? L" " : L"", command.usage, command.summary,
             *command.details ? L"\n" : L"", command.details);
}

bool WantsHelp(int argc, wchar_t** argv, int first)
{
    for (int i = first; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--") == 0)
            return false;
        if (std::wcscmp(argv[i], L"--help") == 0 || std::wcscmp(argv[i], L"-h") == 0)
            return true;
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        PrintUsage();
        return kExitUsage;
    }
    if (std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0 ||
        std::wcscmp(argv[1], L"help") == 0) {
        PrintUsage();
        return 0;
    }
    for (const Subcommand& command : kSubcommands) {
        if (std::wcscmp(argv[1], command.name) != 0)
            continue;
        if (WantsHelp(argc, argv, 2)) {
            PrintSubcommandHelp(command);
            return 0;
        }
        return command.run(argc, argv, 2);
    }
    PrintErr(L"portmonctl: unknown command \"%ls\" (see portmonctl --help)\n", argv[1]);
    return kExitUsage;
}
