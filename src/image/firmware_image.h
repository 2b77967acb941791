#pragma once

#include <array>
#include <cstdint>

#include "core/little_endian.h"

namespace fwup {

// Read-only view of the embedded image; never copied, changed or freed.
// imageData is null and imageSize 0 when the image is absent.
struct FirmwareImage {
    const std::uint8_t* imageData = nullptr;
    std::uint32_t imageSize = 0;
};

// One segment the walk yields: a view into the image, not a copy.
struct ImageSegment {
    std::uint32_t loadAddress;
    std::uint32_t length;
    const std::uint8_t* data;
    std::uint64_t dataOffset;  // where data starts in the image
};

inline constexpr std::array<std::uint8_t, 4> kImageMagic{0x78, 0x56, 0x34, 0x12};
inline constexpr std::uint64_t kBeginWordOffset = 4;
inline constexpr std::uint64_t kFirstSegmentHeader = 9;  // after magic, beginWord, reserved byte
inline constexpr std::uint64_t kSegmentHeaderSize = 8;   // length, load address
// An image this short holds no segment header: 9 header bytes plus 8.
inline constexpr std::uint64_t kShortestImageWithSegments = 17;

// The image's own test: a pointer, at least 8 bytes, the magic at offset 0.
// Nothing else is looked at.
bool IsImageAccepted(FirmwareImage image);

// Bytes 4..7 of an accepted image, in file order.
std::array<std::uint8_t, 4> ReadBeginWord(FirmwareImage image);

// Calls visit(const ImageSegment&) for each segment to download, in file
// order, until it returns false. A segment counts only when at least one byte
// of the image follows its data; 8 or fewer bytes after a segment are the
// trailer. Offsets are 64-bit so no sum of 32-bit lengths can wrap, and no
// byte outside the image is ever read, whatever the image holds.
template <typename Visitor>
void WalkSegments(FirmwareImage image, Visitor&& visit) {
    if (image.imageData == nullptr) return;
    const std::uint64_t size = image.imageSize;
    if (size < kShortestImageWithSegments) return;
    std::uint64_t header = kFirstSegmentHeader;
    for (;;) {
        const std::uint8_t* headerBytes = image.imageData + header;
        const std::uint32_t length = ReadLe32(headerBytes);
        const std::uint32_t loadAddress = ReadLe32(headerBytes + 4);
        const std::uint64_t dataStart = header + kSegmentHeaderSize;
        const std::uint64_t dataEnd = dataStart + length;
        if (dataEnd >= size) return;
        if (!visit(ImageSegment{loadAddress, length, image.imageData + dataStart, dataStart}))
            return;
        if (dataEnd + kSegmentHeaderSize >= size) return;
        header = dataEnd;
    }
}

}  // namespace fwup
