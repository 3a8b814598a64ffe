// Console and UTF-8 output, and system error texts.
#include "console.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

const wchar_t* programName = L"portmonctl";

void WriteText(FILE* stream, const wchar_t* format, va_list args)
{
    std::vector<wchar_t> text(512);
    int length = 0;
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        length = std::vswprintf(text.data(), text.size(), format, copy);
        va_end(copy);
        if (length >= 0 && size_t(length) < text.size())
            break;
        if (text.size() > (1u << 20))
            return;
        text.resize(text.size() * 4);
    }
    if (length == 0)
        return;
    // A console shows wide text as it is, whatever its code page; files and pipes get UTF-8.
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), DWORD(length), &written, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return;
    std::string utf8(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, utf8.data(), bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, size_t(bytes - 1), stream);
    std::fflush(stream);
}

}  // namespace

void SetProgramName(const wchar_t* name)
{
    programName = name;
}

void PrintOut(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteText(stdout, format, args);
    va_end(args);
}

void PrintErr(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteText(stderr, format, args);
    va_end(args);
}

std::wstring SystemErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                  nullptr);
    std::wstring text = length != 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? L"unknown error" : text;
}

int ReportFailure(const std::wstring& what, DWORD code)
{
    if (code == ERROR_SUCCESS) {
        PrintErr(L"%ls: %ls failed; no reason was given (error 0)\n", programName, what.c_str());
        return 1;
    }
    PrintErr(L"%ls: %ls failed: %ls (error %lu)\n", programName, what.c_str(),
             SystemErrorText(code).c_str(), code);
    return 1;
}
