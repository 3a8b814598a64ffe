// The Xcv command table: every command the channel knows, in the order it is searched.
#pragma once

#include <string_view>

#include "commands.h"

struct XcvCommand {
    std::wstring_view name;  // matched exactly: case, length and all
    XcvHandler* handler;
};

inline constexpr XcvCommand kXcvCommands[] = {
    {L"MonitorUI", MonitorUiCommand},
    {L"ConfigureLPTPortCommandOK", ConfigureLptPortCommand},
    {L"PortData", PortDataCommand},
    {L"AddPort", AddPortCommand},
    {L"DeletePort", DeletePortCommand},
    {L"PortExists", PortExistsCommand},
    {L"PortIsValid", PortIsValidCommand},
    {L"GetTransmissionRetryTimeout", GetTransmissionRetryTimeoutCommand},
    {L"SetDefaultCommConfig", SetDefaultCommConfigCommand},
    {L"GetDefaultPortConfig", GetDefaultPortConfigCommand},
    {L"ModifyPort", AddPortCommand},  // storing a changed port is storing a pending one
};

// The row whose name equals the terminated text `name`, or NULL for no row (or no name).
const XcvCommand* FindXcvCommand(const wchar_t* name) noexcept;
