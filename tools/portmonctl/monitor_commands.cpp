// install and uninstall: the monitor's registration with the spooler.
#include <windows.h>
#include <winspool.h>

#include <string>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "monitor_identity.h"

namespace {

std::wstring SystemDllPath()
{
    wchar_t directory[MAX_PATH];
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return L"";
    return std::wstring(directory, length) + L"\\" + kMonitorDll;
}

}  // namespace

int RunInstall(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 0, 1, L"install", line))
        return kExitUsage;

    // The spooler loads monitors from the system directory only.
    if (!line.words.empty()) {
        std::wstring target = SystemDllPath();
        if (target.empty())
            return ReportFailure(L"finding the system directory", GetLastError());
        if (!CopyFileW(line.words[0].c_str(), target.c_str(), FALSE))
            return ReportFailure(L"copying " + line.words[0] + L" to " + target, GetLastError());
        PrintOut(L"copied %ls to %ls\n", line.words[0].c_str(), target.c_str());
    }

    MONITOR_INFO_2W info = {};
    info.pName = const_cast<wchar_t*>(kMonitorName);
    info.pEnvironment = const_cast<wchar_t*>(kMonitorEnvironment);
    info.pDLLName = const_cast<wchar_t*>(kMonitorDll);
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        DWORD error = GetLastError();
        if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
            PrintOut(L"%ls is already installed\n", kMonitorName);
            return 0;
        }
        return ReportFailure(std::wstring(L"AddMonitorW for ") + kMonitorName, error);
    }
    PrintOut(L"installed %ls (%ls)\n", kMonitorName, kMonitorDll);
    return 0;
}

int RunUninstall(int argc, wchar_t** argv, int first)
{
    static const KnownOption kOptions[] = {{L"--remove-dll", false}};
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, kOptions, 1, 0, 0, L"uninstall", line))
        return kExitUsage;

    if (!DeleteMonitorW(nullptr, const_cast<wchar_t*>(kMonitorEnvironment),
                        const_cast<wchar_t*>(kMonitorName)))
        return ReportFailure(std::wstring(L"DeleteMonitorW for ") + kMonitorName, GetLastError());
    PrintOut(L"uninstalled %ls\n", kMonitorName);

    if (line.Has(L"--remove-dll")) {
        std::wstring target = SystemDllPath();
        if (target.empty() || !DeleteFileW(target.c_str()))
            return ReportFailure(L"deleting " + target, GetLastError());
        PrintOut(L"deleted %ls\n", target.c_str());
    }
    return 0;
}
