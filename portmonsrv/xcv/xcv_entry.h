// XcvEntry: one record per open Xcv handle; its address is the handle the spooler holds.
#pragma once

#include "../win32.h"

struct MonitorInstance;

inline constexpr DWORD kXcvEntrySignature = 0x5843;

struct XcvEntry {
    DWORD signature;          // kXcvEntrySignature; written, never compared
    DWORD size;               // bytes of the whole allocation, object name included
    XcvEntry* next;           // next open handle of the same instance
    wchar_t* objectName;      // the inline copy of the name the handle was opened with
    ACCESS_MASK grantedAccess;// as the spooler granted it at XcvOpenPort
    MonitorInstance* owner;   // the instance whose Xcv list holds the record
    // The object name follows here, in the same allocation.
};

// Administrator rule of the commands that change ports or system settings.
inline bool HasAdministerRight(const XcvEntry* xcv) noexcept
{
    return xcv != nullptr && (xcv->grantedAccess & SERVER_ACCESS_ADMINISTER) != 0;
}
