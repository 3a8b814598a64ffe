// Xcv calls through the public spooler API (OpenPrinterW and XcvDataW of winspool).
#include "xcv_client.h"

#include <cstring>

#include "console.h"
#include "monitor_identity.h"

BOOL XcvSession::Open(ACCESS_MASK access) noexcept
{
    PRINTER_DEFAULTSW defaults = {};
    defaults.DesiredAccess = access;
    return handle_.Open(kMonitorXcvObject, &defaults);
}

bool OpenSession(XcvSession& session, ACCESS_MASK access)
{
    if (session.Open(access))
        return true;
    ReportFailure(std::wstring(L"opening the configuration channel of ") + kMonitorName,
                  GetLastError());
    return false;
}

DWORD XcvSession::Call(const wchar_t* command, const void* input, DWORD inputBytes, void* output,
                       DWORD outputBytes, DWORD* needed) noexcept
{
    DWORD neededBytes = 0;
    DWORD status = ERROR_SUCCESS;
    // A spooler that refuses without setting a code must not report an old one, nor success.
    SetLastError(ERROR_SUCCESS);
    if (!XcvDataW(handle_.get(), command, static_cast<BYTE*>(const_cast<void*>(input)),
                  inputBytes, static_cast<BYTE*>(output), outputBytes, &neededBytes, &status)) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    if (needed != nullptr)
        *needed = neededBytes;
    return status;
}

DWORD XcvSession::CallWithName(const wchar_t* command, const std::wstring& name) noexcept
{
    return Call(command, name.c_str(), TextBytes(name), nullptr, 0, nullptr);
}

PortConfig MakePortConfig(const std::wstring& name, const std::wstring& address,
                          DWORD portNumber, BOOL newPort) noexcept
{
    PortConfig config;
    std::memset(&config, 0, sizeof(config));
    // Names and addresses were checked to fit; the last unit of each field stays a terminator.
    name.copy(config.portName, kPortConfigTextUnits - 1);
    address.copy(config.address, kPortConfigTextUnits - 1);
    config.portNumber = portNumber;
    config.newPort = newPort ? 1 : 0;
    return config;
}

DWORD QueryPortConfig(XcvSession& session, const std::wstring& name, PortConfig& config) noexcept
{
    std::memset(&config, 0, sizeof(config));
    DWORD needed = 0;
    return session.Call(L"GetDefaultPortConfig", name.c_str(), TextBytes(name), &config,
                        sizeof(config), &needed);
}
