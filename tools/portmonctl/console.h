// Output of the administrator tools: lines on stdout and stderr (wide text on a console, UTF-8
// into files and pipes), and failure reports that carry the system's own text for the error code.
#pragma once

#include <windows.h>

#include <string>

// printf-style formatting of wide text; written with WriteConsoleW on a console, else as UTF-8.
void PrintOut(const wchar_t* format, ...);
void PrintErr(const wchar_t* format, ...);

// The system's message for a Win32 or Windows Sockets error code, without the final line break;
// "unknown error" when the system has none.
std::wstring SystemErrorText(DWORD code);

// Prints "portmonctl: WHAT failed: TEXT (error CODE)" on stderr and returns the exit code 1, so
// a command can end with `return ReportFailure(...)`. Code 0 (a failure that set no code) is
// said to have no reason.
int ReportFailure(const std::wstring& what, DWORD code);

// The program name used in messages ("portmonctl" unless a program sets another).
void SetProgramName(const wchar_t* name);
