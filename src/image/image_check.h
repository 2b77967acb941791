#pragma once

#include <cstdint>
#include <string>

#include "image/firmware_image.h"

namespace fwup {

// Why an image would not do as the device's firmware: the download's own
// test refuses it, or it would flash nothing, or it would leave bytes unsent.
enum class ImageProblem { None, TooShort, NoMagic, NoSegment, AllSegmentsEmpty, BytesUnsent };

struct ImageCheck {
    ImageProblem problem = ImageProblem::None;
    std::uint64_t segments = 0;
    std::uint64_t dataBytes = 0;      // what a download flashes
    std::uint64_t walkedTo = 0;       // where the walk ended: the last segment's data end
    std::uint64_t bytesUnsent = 0;    // after the walk: the trailer, or more
};

ImageCheck CheckImage(FirmwareImage image);

// Why the download's own test refuses the image, in English ("shorter than 8
// bytes"); null when it accepts it.
const char* RefusalReason(FirmwareImage image);

// The problem, in English, for a person who builds or chooses an image.
std::string DescribeImageProblem(const ImageCheck& check);

}  // namespace fwup
