// printsink's SHA-256 against the vectors of FIPS 180-4 and against a stream fed in odd pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "sha256.h"

namespace {

struct Vector {
    std::string message;
    const char* digest;
};

TEST(PrintsinkSha256, MatchesPublishedVectors)
{
    const Vector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        // 55 and 56 bytes: the length trailer just fits the block, or needs a second one.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    for (const Vector& vector : vectors) {
        Sha256 hash;
        hash.Update(vector.message.data(), vector.message.size());
        EXPECT_EQ(hash.FinishHex(), vector.digest) << "message of " << vector.message.size()
                                                   << " bytes";
    }
}

TEST(PrintsinkSha256, PiecesOfAnySizeGiveTheDigestOfTheWhole)
{
    // One million times 'a', fed in pieces of 7 bytes (never aligned with the 64-byte blocks).
    const std::string million(1000000, 'a');
    Sha256 hash;
    for (size_t offset = 0; offset < million.size(); offset += 7)
        hash.Update(million.data() + offset, std::min<size_t>(7, million.size() - offset));
    EXPECT_EQ(hash.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
