#include "image/stand_in_image.h"

namespace fwup {
namespace {

bool CarriesNotice(FirmwareImage image) {
    constexpr std::uint64_t kNoticeBytes = 2 * (sizeof kStandInNotice - 1);
    if (image.imageData == nullptr || image.imageSize < kNoticeBytes) return false;
    for (std::uint64_t at = 0; at + kNoticeBytes <= image.imageSize; ++at) {
        std::uint64_t i = 0;
        while (i < kNoticeBytes &&
               image.imageData[at + i] ==
                   (i % 2 == 0 ? static_cast<std::uint8_t>(kStandInNotice[i / 2]) : 0))
            ++i;
        if (i == kNoticeBytes) return true;
    }
    return false;
}

}  // namespace

std::uint64_t Fnv1a64(const std::uint8_t* bytes, std::uint64_t count) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint64_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool IsStandInImage(FirmwareImage image) {
    if (image.imageData == nullptr) return false;
    if (image.imageSize == kStandInImageSize &&
        Fnv1a64(image.imageData, image.imageSize) == kStandInImageDigest)
        return true;
    return CarriesNotice(image);
}

}  // namespace fwup
