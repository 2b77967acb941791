#include "image/firmware_image.h"

#include <gtest/gtest.h>

#include "test_images.h"

namespace fwup::test {
namespace {

std::vector<ImageSegment> Segments(const Bytes& image) {
    std::vector<ImageSegment> segments;
    WalkSegments(View(image), [&](const ImageSegment& segment) {
        segments.push_back(segment);
        return true;
    });
    return segments;
}

TEST(FirmwareImage, AcceptanceLooksOnlyAtPointerSizeAndMagic) {
    const Bytes magic{0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(IsImageAccepted(View(magic)));
    EXPECT_FALSE(IsImageAccepted({nullptr, 100}));
    EXPECT_FALSE(IsImageAccepted({magic.data(), 7}));
    Bytes wrongMagic = magic;
    wrongMagic[3] = 0x13;
    EXPECT_FALSE(IsImageAccepted(View(wrongMagic)));
}

TEST(FirmwareImage, SmallImageYieldsItsSegmentAndEndAddress) {
    const Bytes image = SmallImage();
    const std::vector<ImageSegment> segments = Segments(image);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].loadAddress, 0x80002000u);
    EXPECT_EQ(segments[0].length, 3u);
    EXPECT_EQ(segments[0].data, image.data() + 17);  // a view, not a copy
    EXPECT_EQ(ComputeEndAddress(View(image)), 0x80002003u);
    EXPECT_EQ(ReadBeginWord(View(image)), (std::array<std::uint8_t, 4>{0x58, 0xA7, 0x00, 0x80}));
}

TEST(FirmwareImage, SegmentNeedsAtLeastOneByteAfterItsData) {
    Bytes noTrailer = SmallImage();
    noTrailer.resize(20);
    EXPECT_TRUE(Segments(noTrailer).empty());
    EXPECT_EQ(ComputeEndAddress(View(noTrailer)), 0u);

    Bytes oneTrailerByte = SmallImage();
    oneTrailerByte.resize(21);
    EXPECT_EQ(Segments(oneTrailerByte).size(), 1u);
}

TEST(FirmwareImage, ShortImagesHaveNoSegments) {
    for (std::size_t size = 8; size <= 16; ++size) {
        Bytes image = SmallImage();
        image.resize(size);
        EXPECT_TRUE(Segments(image).empty()) << size;
        EXPECT_EQ(ComputeEndAddress(View(image)), 0u) << size;
    }
    EXPECT_EQ(ComputeEndAddress({nullptr, 0}), 0u);
}

TEST(FirmwareImage, OversizedLengthsEndTheWalkWithoutReadingPastTheImage) {
    // Lengths near 2^32 must not wrap an offset back into the image.
    for (std::uint32_t length : {7u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        Bytes image = MakeImage({{0x1000, {1, 2, 3}}});
        StoreLe32(&image[9], length);
        EXPECT_TRUE(Segments(image).empty()) << length;
    }
    // A good first segment followed by one that claims more than is left.
    Bytes image = MakeImage({{0x1000, {1, 2}}, {0x2000, Pattern(40)}});
    StoreLe32(&image[9 + 8 + 2], 0xFFFFFFFFu);
    const std::vector<ImageSegment> segments = Segments(image);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(ComputeEndAddress(View(image)), 0x1002u);
}

TEST(FirmwareImage, LongTrailerIsReadAsAnotherSegment) {
    // Nine zero bytes after a segment form a zero-length segment at address 0.
    const Bytes image = MakeImage({{0x80002000, {1, 2, 3}}}, Bytes(9, 0));
    const std::vector<ImageSegment> segments = Segments(image);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].loadAddress, 0u);
    EXPECT_EQ(segments[1].length, 0u);
    EXPECT_EQ(ComputeEndAddress(View(image)), 0x80002003u);
}

TEST(FirmwareImage, EndAddressIsTheLargestWrappedSum) {
    // Below an earlier segment: the earlier, larger end stays.
    EXPECT_EQ(ComputeEndAddress(View(MakeImage({{0x9000, Pattern(16)}, {0x1000, Pattern(4)}}))),
              0x9010u);
    // Address plus length past 2^32 contributes the wrapped sum.
    EXPECT_EQ(ComputeEndAddress(View(MakeImage({{0xFFFFFFF0u, Pattern(0x20)}}))), 0x10u);
    // A zero-length segment takes part with its address plus 0.
    EXPECT_EQ(ComputeEndAddress(View(MakeImage({{0x1000, Pattern(4)}, {0x8000, {}}}))), 0x8000u);
}

TEST(FirmwareImage, VisitorCanStopTheWalk) {
    const Bytes image = MakeImage({{0x1000, {1}}, {0x2000, {2}}, {0x3000, {3}}});
    int visited = 0;
    WalkSegments(View(image), [&](const ImageSegment&) { return ++visited < 2; });
    EXPECT_EQ(visited, 2);
}

TEST(FirmwareImage, EmbeddedImageHasTheDevicesLayout) {
    const Bytes image = EmbeddedImage();
    ASSERT_EQ(image.size(), 45637u);
    ASSERT_TRUE(IsImageAccepted(View(image)));
    EXPECT_EQ(ReadBeginWord(View(image)), (std::array<std::uint8_t, 4>{0x58, 0xA7, 0x00, 0x80}));
    EXPECT_EQ(image[8], 0x00);
    struct Expected {
        std::uint64_t dataOffset;
        std::uint32_t length;
        std::uint32_t loadAddress;
    };
    const Expected expected[] = {{17, 256, 0x80002000},
                                 {281, 39892, 0x80002100},
                                 {40181, 5264, 0x8000BCD4},
                                 {45453, 180, 0x8000D164}};
    const std::vector<ImageSegment> segments = Segments(image);
    ASSERT_EQ(segments.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(segments[i].dataOffset, expected[i].dataOffset) << i;
        EXPECT_EQ(segments[i].length, expected[i].length) << i;
        EXPECT_EQ(segments[i].loadAddress, expected[i].loadAddress) << i;
    }
    EXPECT_EQ(ComputeEndAddress(View(image)), 0x8000D218u);
    EXPECT_EQ(Bytes(image.end() - 4, image.end()), (Bytes{0, 0, 0, 0}));
}

}  // namespace
}  // namespace fwup::test
