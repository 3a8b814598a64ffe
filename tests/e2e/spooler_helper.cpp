// e2e_spooler: what the end-to-end tests need from Wine's spooler besides portmonctl.
//
//   ports                      every port the spooler lists: NAME|MONITOR|DESCRIPTION
//   add-queue QUEUE PORT       a RAW printer queue on PORT (driver: Wine's wineps.drv)
//   xcv-unprivileged PORT      the monitor's commands through an Xcv handle opened without
//                              SERVER_ACCESS_ADMINISTER: one line COMMAND STATUS each
//
// Exit code 0 when the spooler did what was asked, 1 with the failure on stderr otherwise.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "console.h"
#include "spooler_ports.h"
#include "xcv_client.h"

namespace {

constexpr wchar_t kTestDriver[] = L"VEXA Test Raw Driver";

int ListPorts()
{
    std::vector<SpoolerPort> ports;
    DWORD status = ListSpoolerPorts(ports);
    if (status != ERROR_SUCCESS)
        return ReportFailure(L"EnumPortsW", status);
    for (const SpoolerPort& port : ports)
        PrintOut(L"%ls|%ls|%ls\n", port.name.c_str(), port.monitor.c_str(),
                 port.description.c_str());
    return 0;
}

// Wine renders nothing for a RAW queue: winprint passes the bytes to the port. Its PostScript
// driver serves as the driver every queue must name.
bool InstallTestDriver()
{
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ReportFailure(L"GetSystemDirectoryW", GetLastError());
        return false;
    }
    std::wstring driverFile = std::wstring(system) + L"\\wineps.drv";
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(kTestDriver);
    driver.pDriverPath = driverFile.data();
    driver.pDataFile = driverFile.data();
    driver.pConfigFile = driverFile.data();
    driver.pDefaultDataType = const_cast<wchar_t*>(L"RAW");
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
        ReportFailure(L"AddPrinterDriverExW", GetLastError());
        return false;
    }
    return true;
}

int AddQueue(const wchar_t* queue, const wchar_t* port)
{
    if (!InstallTestDriver())
        return 1;
    PRINTER_INFO_2W info = {};
    info.pPrinterName = const_cast<wchar_t*>(queue);
    info.pPortName = const_cast<wchar_t*>(port);
    info.pDriverName = const_cast<wchar_t*>(kTestDriver);
    info.pPrintProcessor = const_cast<wchar_t*>(L"winprint");
    info.pDatatype = const_cast<wchar_t*>(L"RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (printer == nullptr)
        return ReportFailure(std::wstring(L"AddPrinterW for ") + queue, GetLastError());
    ClosePrinter(printer);
    PrintOut(L"queue %ls prints to %ls\n", queue, port);
    return 0;
}

// Every command of the monitor, each with well-formed input, through a handle without the
// administer right. An administrator's "DeletePort" and "ConfigureLPTPortCommandOK" would
// succeed with this input (given the settings key), so the caller can tell from the port and the
// time-out afterwards that the refusals changed nothing; it compares the statuses with what the
// access rule allows.
int RunUnprivileged(const wchar_t* port)
{
    XcvSession session;
    if (!session.Open(SERVER_ACCESS_ENUMERATE))
        return ReportFailure(L"opening the Xcv channel without the administer right",
                             GetLastError());
    std::wstring name = port;
    DWORD nameBytes = TextBytes(name);
    PortConfig config = MakePortConfig(name, L"127.0.0.1", 9100, TRUE);
    PortConfig output = {};
    DWORD timeout = 0;
    wchar_t monitorUi[32] = {};
    const wchar_t timeoutText[] = L"30";
    COMMCONFIG comm = {};
    comm.dwSize = sizeof(comm);
    comm.wVersion = 1;
    comm.dcb.DCBlength = sizeof(DCB);

    struct Call {
        const wchar_t* command;
        const void* input;
        DWORD inputBytes;
        void* output;
        DWORD outputBytes;
    };
    const Call calls[] = {
        {L"PortData", &config, sizeof(config), nullptr, 0},
        {L"AddPort", name.c_str(), nameBytes, nullptr, 0},
        {L"ModifyPort", name.c_str(), nameBytes, nullptr, 0},
        {L"DeletePort", name.c_str(), nameBytes, nullptr, 0},
        {L"ConfigureLPTPortCommandOK", timeoutText, sizeof(timeoutText), nullptr, 0},
        {L"SetDefaultCommConfig", &comm, sizeof(comm), nullptr, 0},
        {L"GetDefaultPortConfig", name.c_str(), nameBytes, &output, sizeof(output)},
        {L"GetTransmissionRetryTimeout", nullptr, 0, &timeout, sizeof(timeout)},
        {L"MonitorUI", nullptr, 0, monitorUi, sizeof(monitorUi)},
    };
    for (const Call& call : calls) {
        DWORD needed = 0;
        DWORD status = session.Call(call.command, call.input, call.inputBytes, call.output,
                                    call.outputBytes, &needed);
        PrintOut(L"%ls %lu\n", call.command, status);
    }
    return 0;
}

void Usage()
{
    PrintErr(L"usage: e2e_spooler ports | add-queue QUEUE PORT | xcv-unprivileged PORT\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetProgramName(L"e2e_spooler");
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"ports" && argc == 2)
        return ListPorts();
    if (command == L"add-queue" && argc == 4)
        return AddQueue(argv[2], argv[3]);
    if (command == L"xcv-unprivileged" && argc == 3)
        return RunUnprivileged(argv[2]);
    Usage();
    return 2;
}
