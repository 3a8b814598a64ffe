// How the spooler knows the monitor: its name, its DLL and the environment it is installed for.
#pragma once

inline constexpr wchar_t kMonitorName[] = L"VEXA Port Monitor";
inline constexpr wchar_t kMonitorDll[] = L"portmonsrv.dll";
inline constexpr wchar_t kMonitorEnvironment[] = L"Windows x64";
// The Xcv object through which the monitor itself (not one of its ports) is configured.
inline constexpr wchar_t kMonitorXcvObject[] = L",XcvMonitor VEXA Port Monitor";
inline constexpr unsigned kDefaultPortNumber = 9100;
