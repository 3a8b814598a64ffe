// The library's entry routine: the loader serialises attach and detach, and the monitor wants
// no thread notifications.
#include "module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!ModuleAttach(instance))
            return FALSE;
        DisableThreadLibraryCalls(instance);
        return TRUE;
    case DLL_PROCESS_DETACH:
        ModuleDetach();
        return TRUE;
    default:
        return TRUE;
    }
}
