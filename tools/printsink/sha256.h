// SHA-256 of a byte stream, computed as the bytes arrive, so a job of any size needs no copy in
// memory to be fingerprinted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256() noexcept;
    void Update(const void* data, size_t bytes) noexcept;
    // Ends the stream; the object must not be updated afterwards.
    std::array<uint8_t, 32> Finish() noexcept;
    // Ends the stream and gives the digest as 64 lower-case hex digits (as sha256sum prints it).
    std::string FinishHex();

private:
    void Compress(const uint8_t* block) noexcept;

    uint32_t state_[8];
    uint8_t block_[64];
    size_t blockBytes_ = 0;
    uint64_t totalBytes_ = 0;
};
