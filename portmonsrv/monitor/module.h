// Process attach and detach of the library. DllMain forwards here; test programs, which link the
// monitor statically, call these with their own module handle.
#pragma once

#include "../win32.h"

// The module whose string table the monitor reads (set at attach).
extern HMODULE ModuleHandle;

// Saves the module handle and creates MonitorLock. FALSE when the lock cannot be created: every
// entry point needs it, so the loader is told that the library cannot be used.
BOOL ModuleAttach(HMODULE module) noexcept;

// Deletes MonitorLock if attach created it.
void ModuleDetach() noexcept;
