#include "image/image_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/image_file.h"

namespace fwup::test {
namespace {

struct DigestCase {
    const char* name;
    std::string message;
    const char* sha256;
};

class Sha256Vectors : public testing::TestWithParam<DigestCase> {};

TEST_P(Sha256Vectors, MatchThePublishedDigest) {
    const DigestCase& c = GetParam();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.message.data());
    EXPECT_EQ(Sha256Hex(bytes, c.message.size()), c.sha256);
}

// The published vectors, and the lengths either side of the padding's edge
// (55 bytes pad into one block, the 448-bit one needs a second, 64 is a
// whole block).
INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Vectors,
    testing::Values(
        DigestCase{"Empty", "",
                   "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc",
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        DigestCase{"MillionA", std::string(1000000, 'a'),
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        DigestCase{"FiftyFiveBytes", std::string(55, 'a'),
                   "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        DigestCase{"OneBlock", std::string(64, 'a'),
                   "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"}),
    [](const testing::TestParamInfo<DigestCase>& info) { return info.param.name; });

// The digest the build computed of the image it embeds (CMake's own SHA-256).
TEST(Sha256, MatchesTheBuildsDigestOfTheImage) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(ReadImageFile(FIRMWARE_IMAGE_PATH, bytes, error)) << error;
    EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), FIRMWARE_IMAGE_SHA256);
}

}  // namespace
}  // namespace fwup::test
