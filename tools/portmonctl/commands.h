// The subcommands of portmonctl. Each takes its own arguments (argv from `first` on) and returns
// the process exit code: 0 for success, 1 when something failed, 2 for wrong arguments.
#pragma once

struct Subcommand {
    const wchar_t* name;
    const wchar_t* usage;    // one line: the arguments
    const wchar_t* summary;  // one line: what it does
    const wchar_t* details;  // shown by --help, may be empty
    int (*run)(int argc, wchar_t** argv, int first);
};

int RunInstall(int argc, wchar_t** argv, int first);
int RunUninstall(int argc, wchar_t** argv, int first);
int RunPorts(int argc, wchar_t** argv, int first);
int RunAdd(int argc, wchar_t** argv, int first);
int RunSet(int argc, wchar_t** argv, int first);
int RunDelete(int argc, wchar_t** argv, int first);
int RunShow(int argc, wchar_t** argv, int first);
int RunTest(int argc, wchar_t** argv, int first);
int RunTimeout(int argc, wchar_t** argv, int first);
int RunPrint(int argc, wchar_t** argv, int first);

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
