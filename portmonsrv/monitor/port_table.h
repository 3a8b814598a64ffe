// The port table: one PortEntry per port, in a list owned by the MonitorInstance. A PortEntry is
// also the port handle that OpenPort gives the spooler.
#pragma once

#include <cstddef>

#include "../win32.h"

struct MonitorInstance;

inline constexpr DWORD kPortEntrySignature = 0x5450;
inline constexpr DWORD kPortConfigTextUnits = 247;
inline constexpr DWORD kPortAddressUnits = 20;

// The port configuration record of the Xcv channel: a fixed 996-byte wire format.
struct PortConfig {
    wchar_t portName[kPortConfigTextUnits];  // terminated inside the field
    wchar_t address[kPortConfigTextUnits];   // dotted IPv4 text, terminated inside the field
    DWORD portNumber;
    DWORD newPort;                           // nonzero: a port to be created
};
static_assert(sizeof(PortConfig) == 996);
static_assert(offsetof(PortConfig, portName) == 0);
static_assert(offsetof(PortConfig, address) == 494);
static_assert(offsetof(PortConfig, portNumber) == 988);
static_assert(offsetof(PortConfig, newPort) == 992);

struct PortEntry {
    DWORD signature;                    // kPortEntrySignature; written, never compared
    DWORD size;                         // bytes of the whole allocation, name included
    PortEntry* next;                    // next entry of the same list
    DWORD spare;                        // zero; reset by a modify
    wchar_t* name;                      // the inline name storage behind this record
    DWORD portNumber;                   // TCP port; connections use the low 16 bits
    SOCKET socket;                      // the current document's connection, or INVALID_SOCKET
    wchar_t address[kPortAddressUnits]; // dotted IPv4 text, terminated inside the field
    DWORD committed;                    // 1: stored and listed; 0: pending
    HANDLE printer;                     // the current document's printer handle
    DWORD jobId;                        // the current document's job id
    MonitorInstance* owner;             // the instance whose list holds the entry
    LONG openHandles;                   // port handles the spooler holds (guarded by MonitorLock)
    BOOL removed;                       // taken out of the table while handles remained open
    // The name follows here, in the same allocation.
};

// Units of `text` before its terminator, reading at most `capacity` units; `capacity` when no
// terminator lies within them. Never reads past the bound.
size_t BoundedLength(const wchar_t* text, size_t capacity) noexcept;

// Builds an entry from the record's name, address and port number and appends it to the
// instance's list under MonitorLock. NULL when memory runs out (the allocator's error stands) or
// when the name or the address does not fit its field (ERROR_INVALID_PARAMETER): an address is
// never cut, since a cut address would send documents to another printer.
PortEntry* CreatePortEntry(MonitorInstance* instance, const PortConfig* config,
                           DWORD committed) noexcept;

// Copies a dotted address into an entry's 20-unit field. FALSE, with the field unchanged, when
// the text has no terminator within its first 20 units.
BOOL SetPortAddress(PortEntry* entry, const wchar_t* address, size_t addressCapacity) noexcept;

// The first entry from `first` on whose name equals `name` without regard to case; NULL when
// none does or `name` is NULL. Caller holds MonitorLock.
PortEntry* FindPortEntry(PortEntry* first, LPCWSTR name) noexcept;

// Takes the first entry of that name out of the instance's table. The entry is released at once,
// or, while the spooler still holds it as a port handle, when its last handle is closed.
// FALSE when no entry has the name (last error untouched). Caller holds MonitorLock.
BOOL RemovePortEntry(MonitorInstance* instance, LPCWSTR name) noexcept;

// Takes this very entry out of the instance's table, released as RemovePortEntry releases it;
// for a caller that must not hit an older entry of the same name. FALSE when the table does not
// hold it. Caller holds MonitorLock.
BOOL RemoveThisPortEntry(MonitorInstance* instance, PortEntry* entry) noexcept;

// Port-handle bookkeeping for OpenPort and ClosePort. RetainPortEntry: caller holds MonitorLock.
// ReleasePortEntry takes the lock itself and frees an entry removed while it was held.
void RetainPortEntry(PortEntry* entry) noexcept;
void ReleasePortEntry(PortEntry* entry) noexcept;

// Frees the whole table and the entries removed but still held (Shutdown).
void FreePortTable(MonitorInstance* instance) noexcept;
