#include "alloc.h"

#include <cstring>

namespace {
volatile LONG blocksOutstanding = 0;
LONG allocationsUntilFailure = 0;
}

void FailNthAllocation(LONG n) noexcept
{
    allocationsUntilFailure = n;
}

void* ZeroedAlloc(DWORD size) noexcept
{
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = GlobalAlloc(GMEM_FIXED, size);
    if (block != nullptr) {
        std::memset(block, 0, size);
        InterlockedIncrement(&blocksOutstanding);
    }
    return block;
}

void FreeBlock(void* block) noexcept
{
    if (block == nullptr)
        return;
    InterlockedDecrement(&blocksOutstanding);
    GlobalFree(block);
}

LONG OutstandingBlocks() noexcept
{
    return InterlockedCompareExchange(&blocksOutstanding, 0, 0);
}
