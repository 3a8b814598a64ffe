// Buffers that end where a no-access page begins, so that reading or writing even one byte past
// a client's buffer crashes the test instead of passing unnoticed.
#pragma once

#include <cstddef>

#include "win32.h"

class GuardPage {
public:
    GuardPage();
    ~GuardPage();
    GuardPage(const GuardPage&) = delete;
    GuardPage& operator=(const GuardPage&) = delete;

    // Copies `bytes` bytes so that they end at the guard and returns where they start. With 0
    // bytes, the guard itself: a buffer of no bytes whose first byte cannot be touched.
    BYTE* Place(const void* data, size_t bytes);
    // Where a buffer of `bytes` bytes ending at the guard starts (its contents as they are).
    BYTE* Tail(size_t bytes) { return base_ + page_ - bytes; }
    // `bytes` bytes ending at the guard, each set to `fill`.
    BYTE* Fill(BYTE fill, size_t bytes);
    // The most bytes a buffer may have.
    size_t Capacity() const { return page_; }

private:
    BYTE* base_ = nullptr;
    size_t page_ = 0;
};
