// SHA-256 from the system's library: known digests, any split of the input, and the object
// starting over after each digest (the engine relies on that to drop what it had fed).
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
// Two blocks: the 56-byte message of the published test vectors.
constexpr const char* kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr const char* kTwoBlocksDigest =
    "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";

TEST(Sha256, KnownDigestsWhateverTheSplit) {
    platform::Sha256 sha256;
    EXPECT_EQ(sha256.FinishHex(), kEmpty);
    sha256.Update("abc", 3);
    EXPECT_EQ(sha256.FinishHex(), kAbc);
    const std::string message = kTwoBlocks;
    for (size_t split = 0; split <= message.size(); split += 7) {
        sha256.Update(message.data(), split);
        sha256.Update(nullptr, 0);
        sha256.Update(message.data() + split, message.size() - split);
        EXPECT_EQ(sha256.FinishHex(), kTwoBlocksDigest) << split;
    }
}

}  // namespace
