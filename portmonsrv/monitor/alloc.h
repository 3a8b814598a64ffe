// Every record and temporary heap buffer of the monitor comes from ZeroedAlloc and goes back
// through FreeBlock (GlobalFree). The count of blocks outstanding lets tests prove that an
// instance leaves nothing behind.
#pragma once

#include "../win32.h"

// A fixed GlobalAlloc block of `size` zero bytes, or NULL with GlobalAlloc's last error.
void* ZeroedAlloc(DWORD size) noexcept;

// Releases a block from ZeroedAlloc with GlobalFree; NULL is ignored.
void FreeBlock(void* block) noexcept;

// Blocks handed out by ZeroedAlloc and not yet released.
LONG OutstandingBlocks() noexcept;

// For tests of out-of-memory paths: the n-th ZeroedAlloc from now fails with
// ERROR_NOT_ENOUGH_MEMORY (0 turns it off). Not for concurrent use.
void FailNthAllocation(LONG n) noexcept;
