#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/carried_image.h"
#include "core/device_model.h"
#include "image/firmware_image.h"

namespace fwup {

// Why an image would not do as the device's firmware: the download's own
// test refuses it, or it would flash nothing, or it would leave bytes unsent.
enum class ImageProblem { None, TooShort, NoMagic, NoSegment, AllSegmentsEmpty, BytesUnsent };

using BeginPayload = std::array<std::uint8_t, kBeginPayloadSize>;

// One data command of a download: a piece of a segment, at most MaxChunkSize
// bytes, viewed in the image at the piece's own load address.
struct DataCommand {
    std::uint32_t address;
    const std::uint8_t* data;
    std::uint32_t length;  // 1 to MaxChunkSize
};

// The image read once: what the download sends and what a person is told.
// The views point into the image, which must outlive the description. An
// image the download refuses has only bytes, problem and standIn set.
struct ImageDescription {
    FirmwareImage bytes;
    bool accepted = false;  // the download's own test: pointer, 8 bytes, magic
    ImageProblem problem = ImageProblem::TooShort;
    std::array<std::uint8_t, 4> beginWord{};
    std::uint32_t endAddress = 0;  // the largest (address + length) mod 2^32
    BeginPayload beginPayload{};
    std::vector<ImageSegment> segments;
    std::vector<DataCommand> dataCommands;  // the segments cut as the download sends them
    std::uint64_t dataBytes = 0;            // what a download flashes
    // An image of 8 to 16 bytes holds no segment header: its download is the
    // begin command alone.
    bool sendsEndCommand = false;
    // The plain byte sum of the begin payload and of every data command's
    // address and data, mod 2^16: what the end command carries.
    std::uint16_t checksum = 0;
    std::uint64_t walkedTo = 0;     // where the walk ended: the last segment's data end
    std::uint64_t bytesUnsent = 0;  // after the walk: the trailer, or more
    bool standIn = false;           // the stand-in, accepted or not
    // The version a device reports once it runs this image, where the build
    // or the user says it; none: not known, and nothing is compared.
    std::optional<std::uint16_t> version;
};

ImageDescription DescribeImage(FirmwareImage image);

// Whether the described image is the stand-in, as the commands take it.
inline CarriedImage CarriedImageOf(const ImageDescription& image) {
    return image.standIn ? CarriedImage::StandIn : CarriedImage::DeviceFirmware;
}

// Why the download's own test refuses the image, in English ("shorter than 8
// bytes"); null when it accepts it.
const char* RefusalReason(const ImageDescription& image);

// The problem, in English, for a person who builds or chooses an image.
std::string DescribeImageProblem(const ImageDescription& image);

}  // namespace fwup
