// The registry store of port definitions below the monitor's root:
//   Ports\<port name>   "IPAddress" (REG_SZ), "PortNumber" (REG_DWORD)
//   <port name>         "Data" (REG_BINARY): the older form, migrated at every start
#pragma once

#include <cstddef>

#include "../win32.h"

struct MonitorInstance;
struct PortEntry;

// The older binary form of a port. Only the port number at 20 and the address text that the
// offset at 56 points to are read; a record must be at least 64 bytes.
struct LegacyPortRecord {
    BYTE unused1[20];
    DWORD portNumber;
    BYTE unused2[32];
    ULONGLONG addressOffset;
};
static_assert(offsetof(LegacyPortRecord, portNumber) == 20);
static_assert(offsetof(LegacyPortRecord, addressOffset) == 56);
static_assert(sizeof(LegacyPortRecord) == 64);

// Migrates the older records, then appends every stored port to the instance's table as a
// committed entry. Failures only leave fewer ports. Caller holds MonitorLock.
void LoadStoredPorts(MonitorInstance* instance) noexcept;

// Stores the entry's address and port number under its name, in the spooler's own security
// context. Returns 0 when both values were written, else the registry's nonzero code (a port
// that was not stored is never reported as stored).
LONG PersistPort(const PortEntry* entry) noexcept;

// Deletes the port's key, in the spooler's own security context. Reports nothing.
void UnpersistPort(MonitorInstance* instance, LPCWSTR name) noexcept;
