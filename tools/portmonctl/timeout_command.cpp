// timeout: the spooler-wide transmission retry time-out, read and written through the monitor.
#include <windows.h>
#include <winspool.h>

#include <string>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "xcv_client.h"

int RunTimeout(int argc, wchar_t** argv, int first)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, first, nullptr, 0, 0, 1, L"timeout", line))
        return kExitUsage;

    bool writing = !line.words.empty();
    if (writing) {
        DWORD seconds = 0;
        if (!ParseDecimal(line.words[0], seconds)) {
            PrintErr(L"portmonctl timeout: \"%ls\" is not a number of seconds\n",
                     line.words[0].c_str());
            return kExitUsage;
        }
    }

    XcvSession session;
    if (!OpenSession(session, writing ? SERVER_ACCESS_ADMINISTER : SERVER_ACCESS_ENUMERATE))
        return kExitFailure;
    if (writing) {
        const std::wstring& text = line.words[0];
        DWORD status = session.Call(L"ConfigureLPTPortCommandOK", text.c_str(), TextBytes(text),
                                    nullptr, 0, nullptr);
        if (status != ERROR_SUCCESS)
            return ReportFailure(L"ConfigureLPTPortCommandOK", status);
    }
    DWORD seconds = 0;
    DWORD status = session.Call(L"GetTransmissionRetryTimeout", nullptr, 0, &seconds,
                                sizeof(seconds), nullptr);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"GetTransmissionRetryTimeout", status);
    PrintOut(L"transmission retry time-out: %lu seconds\n", seconds);
    return 0;
}
