#include "alloc.h"

#include <cstring>

namespace {
volatile LONG blocksOutstanding = 0;
}

void* ZeroedAlloc(DWORD size) noexcept
{
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
