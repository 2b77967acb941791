#include "image/firmware_image.h"

namespace fwup {

bool IsImageAccepted(FirmwareImage image) {
    if (image.imageData == nullptr || image.imageSize < 8) return false;
    for (std::size_t i = 0; i < kImageMagic.size(); ++i)
        if (image.imageData[i] != kImageMagic[i]) return false;
    return true;
}

std::array<std::uint8_t, 4> ReadBeginWord(FirmwareImage image) {
    const std::uint8_t* word = image.imageData + kBeginWordOffset;
    return {word[0], word[1], word[2], word[3]};
}

std::uint32_t ComputeEndAddress(FirmwareImage image) {
    std::uint32_t endAddress = 0;
    WalkSegments(image, [&](const ImageSegment& segment) {
        const std::uint32_t segmentEnd = segment.loadAddress + segment.length;  // wraps mod 2^32
        if (segmentEnd > endAddress) endAddress = segmentEnd;
        return true;
    });
    return endAddress;
}

std::uint64_t DownloadDataBytes(FirmwareImage image) {
    std::uint64_t total = 0;
    WalkSegments(image, [&](const ImageSegment& segment) {
        total += segment.length;
        return true;
    });
    return total;
}

}  // namespace fwup
