#include "command_table.h"

#include <iterator>

static_assert(std::size(kXcvCommands) == 11);

namespace {

// Compares unit by unit and stops at the first difference, so the caller's text is never read
// past its terminator, however long it is.
bool IsCommandName(std::wstring_view commandName, const wchar_t* text)
{
    for (size_t i = 0; i < commandName.size(); ++i) {
        if (text[i] != commandName[i])
            return false;
    }
    return text[commandName.size()] == L'\0';
}

}  // namespace

const XcvCommand* FindXcvCommand(const wchar_t* name) noexcept
{
    if (name == nullptr)
        return nullptr;
    for (const XcvCommand& command : kXcvCommands) {
        if (IsCommandName(command.name, name))
            return &command;
    }
    return nullptr;
}
