#include "image/image_description.h"

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
    EXPECT_EQ(Described(image).endAddress, 0x80002003u);
    EXPECT_EQ(ReadBeginWord(View(image)), (std::array<std::uint8_t, 4>{0x58, 0xA7, 0x00, 0x80}));
}

TEST(FirmwareImage, SegmentNeedsAtLeastOneByteAfterItsData) {
    Bytes noTrailer = SmallImage();
    noTrailer.resize(20);
    EXPECT_TRUE(Segments(noTrailer).empty());
    EXPECT_EQ(Described(noTrailer).endAddress, 0u);

    Bytes oneTrailerByte = SmallImage();
    oneTrailerByte.resize(21);
    EXPECT_EQ(Segments(oneTrailerByte).size(), 1u);
}

TEST(FirmwareImage, ShortImagesHaveNoSegments) {
    for (std::size_t size = 8; size <= 16; ++size) {
        Bytes image = SmallImage();
        image.resize(size);
        EXPECT_TRUE(Segments(image).empty()) << size;
        EXPECT_EQ(Described(image).endAddress, 0u) << size;
    }
    EXPECT_EQ(DescribeImage({nullptr, 0}).endAddress, 0u);
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
    EXPECT_EQ(Described(image).endAddress, 0x1002u);
}

TEST(FirmwareImage, LongTrailerIsReadAsAnotherSegment) {
    // Nine zero bytes after a segment form a zero-length segment at address 0.
    const Bytes image = MakeImage({{0x80002000, {1, 2, 3}}}, Bytes(9, 0));
    const std::vector<ImageSegment> segments = Segments(image);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].loadAddress, 0u);
    EXPECT_EQ(segments[1].length, 0u);
    EXPECT_EQ(Described(image).endAddress, 0x80002003u);
}

TEST(FirmwareImage, EndAddressIsTheLargestWrappedSum) {
    // Below an earlier segment: the earlier, larger end stays.
    EXPECT_EQ(Described(MakeImage({{0x9000, Pattern(16)}, {0x1000, Pattern(4)}})).endAddress,
              0x9010u);
    // Address plus length past 2^32 contributes the wrapped sum.
    EXPECT_EQ(Described(MakeImage({{0xFFFFFFF0u, Pattern(0x20)}})).endAddress, 0x10u);
    // A zero-length segment takes part with its address plus 0.
    EXPECT_EQ(Described(MakeImage({{0x1000, Pattern(4)}, {0x8000, {}}})).endAddress, 0x8000u);
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
    EXPECT_EQ(Described(image).endAddress, 0x8000D218u);
    EXPECT_EQ(Bytes(image.end() - 4, image.end()), (Bytes{0, 0, 0, 0}));
}

TEST(ImageDescription, CutsSegmentsAsTheDownloadSendsThem) {
    struct Piece {
        std::uint32_t address;
        std::uint32_t length;
        bool operator==(const Piece&) const = default;
    };
    const struct {
        Bytes image;
        std::vector<Piece> pieces;
    } cases[] = {
        {SmallImage(), {{0x80002000, 3}}},
        {MakeImage({{0x80002000, Pattern(4097)}}), {{0x80002000, 4096}, {0x80003000, 1}}},
        {MakeImage({{0x1000, Pattern(4096)}, {0x5000, {}}, {0x6000, {7}}}), {{0x1000, 4096}, {0x6000, 1}}},
        {MakeImage({{0xFFFFF000u, Pattern(4100)}}), {{0xFFFFF000u, 4096}, {0, 4}}},  // wraps
    };
    for (const auto& c : cases) {
        const ImageDescription described = Described(c.image);
        std::vector<Piece> pieces;
        Bytes sent;
        for (const DataCommand& command : described.dataCommands) {
            pieces.push_back({command.address, command.length});
            EXPECT_GE(command.data, c.image.data());  // views into the image
            EXPECT_LE(command.data + command.length, c.image.data() + c.image.size());
            sent.insert(sent.end(), command.data, command.data + command.length);
        }
        Bytes walked;
        for (const ImageSegment& segment : described.segments)
            walked.insert(walked.end(), segment.data, segment.data + segment.length);
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(sent, walked);
        EXPECT_EQ(described.dataBytes, walked.size());
    }
}

TEST(ImageDescription, ProblemEndCommandAndChecksumOfEachKindOfImage) {
    const Bytes small = SmallImage();
    Bytes wrongMagic = small;
    wrongMagic[0] = 0x79;
    Bytes standInRefused = EmbeddedImage();
    standInRefused[0] = 0;
    Bytes unsent = MakeImage({{0x1000, {1, 2}}}, Bytes(9, 0xFF));  // the "trailer" claims 4 GiB
    const struct {
        const char* name;
        Bytes image;
        ImageProblem problem;
        bool sendsEnd;
        std::uint16_t checksum;
        bool standIn;
    } cases[] = {
        {"none", {}, ImageProblem::TooShort, false, 0, false},
        {"7 bytes", Bytes(small.begin(), small.begin() + 7), ImageProblem::TooShort, false, 0, false},
        {"wrong magic", wrongMagic, ImageProblem::NoMagic, false, 0, false},
        {"stand-in refused", standInRefused, ImageProblem::NoMagic, false, 0, true},
        {"16 bytes", Bytes(small.begin(), small.begin() + 16), ImageProblem::NoSegment, false, 0x09E5, false},
        {"no trailer", Bytes(small.begin(), small.begin() + 20), ImageProblem::NoSegment, true, 0x09E5, false},
        {"small", small, ImageProblem::None, true, 0x0C4E, false},
        {"empty segment", MakeImage({{0x1000, {}}}), ImageProblem::AllSegmentsEmpty, true, 0x09F5, false},
        {"bytes unsent", unsent, ImageProblem::BytesUnsent, true, 0x0A0A, false},
        {"embedded", EmbeddedImage(), ImageProblem::None, true, 0x5DC6, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImageDescription described = Described(c.image);
        EXPECT_EQ(described.problem, c.problem);
        EXPECT_EQ(described.accepted, c.problem != ImageProblem::TooShort && c.problem != ImageProblem::NoMagic);
        EXPECT_EQ(described.sendsEndCommand, c.sendsEnd);
        EXPECT_EQ(described.checksum, c.checksum);
        EXPECT_EQ(described.standIn, c.standIn);
    }
    EXPECT_EQ(DescribeImageProblem(Described(unsent)),
              "the walk stops at offset 19: the segment there does not end before the end of "
              "the image, so 9 bytes are never sent (a trailer is 1 to 8 bytes)");
}

}  // namespace
}  // namespace fwup::test
