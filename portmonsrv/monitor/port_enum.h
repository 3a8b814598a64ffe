#pragma once

#include "../win32.h"

struct PortEntry;

// Writes one PORT_INFO_1W or PORT_INFO_2W for the entry at `record`, its strings placed just
// below `end` (name, monitor name, description, from the top down). Returns the new end, or
// NULL for another level or when memory runs out.
LPBYTE PackPortInfo(const PortEntry* entry, DWORD level, LPBYTE record, LPBYTE end) noexcept;
