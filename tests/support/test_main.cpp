// Test programs link the monitor statically: attach it with the program's own module, whose
// string table is the monitor's.
#include <gmock/gmock.h>

#include <cstdio>

#include "monitor/module.h"

namespace {

// A fault in a test (a handler reading past a guard page, say) must fail the run. Under Wine the
// default handling hands the process to the debugger, after which it may end with exit code 0 and
// count as passed; end it here with the exception code instead.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception)
{
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    std::fprintf(stderr, "unhandled exception 0x%08lx at %p\n", code,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(EndOnUnhandledException);
    ::testing::InitGoogleMock(&argc, argv);
    if (!ModuleAttach(GetModuleHandleW(nullptr)))
        return 2;
    const int result = RUN_ALL_TESTS();
    ModuleDetach();
    return result;
}
