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

}  // namespace fwup
