#include "image/image_description.h"

#include <cinttypes>
#include <cstdio>

#include "core/little_endian.h"
#include "image/stand_in_image.h"

namespace fwup {
namespace {

constexpr std::uint64_t kLongestTrailer = 8;

void AddToChecksum(std::uint16_t& checksum, const std::uint8_t* bytes, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i)
        checksum = static_cast<std::uint16_t>(checksum + bytes[i]);
}

// The 32-byte begin payload: beginWord in bytes 0..3, endAddress
// little-endian in bytes 27..30, the rest fixed.
BeginPayload BuildBeginPayload(const std::array<std::uint8_t, 4>& beginWord,
                               std::uint32_t endAddress) {
    BeginPayload payload = kBeginPayloadTemplate;
    for (std::size_t i = 0; i < beginWord.size(); ++i) payload[kBeginWordAt + i] = beginWord[i];
    StoreLe32(&payload[kEndAddressAt], endAddress);
    return payload;
}

// Cuts a segment into the pieces of at most MaxChunkSize that its data
// commands carry, each at its own address; a segment of length 0 gives none.
void CutSegment(const ImageSegment& segment, std::vector<DataCommand>& commands) {
    std::uint32_t address = segment.loadAddress;
    const std::uint8_t* data = segment.data;
    std::uint32_t left = segment.length;
    while (left > 0) {
        const std::uint32_t piece = left < MaxChunkSize ? left : MaxChunkSize;
        commands.push_back({address, data, piece});
        address += piece;  // wraps mod 2^32 like the device's address
        data += piece;
        left -= piece;
    }
}

// What the device sums of the commands it accepts: the begin payload, then
// each data command's address, little-endian, and its data. Headers never count.
std::uint16_t SumOfCommands(const BeginPayload& begin, const std::vector<DataCommand>& commands) {
    std::uint16_t sum = 0;
    AddToChecksum(sum, begin.data(), kBeginPayloadSize);
    for (const DataCommand& command : commands) {
        std::array<std::uint8_t, kLoadAddressSize> address{};
        StoreLe32(address.data(), command.address);
        AddToChecksum(sum, address.data(), kLoadAddressSize);
        AddToChecksum(sum, command.data, command.length);
    }
    return sum;
}

// What an accepted image's walk makes of it.
ImageProblem WalkProblem(const ImageDescription& image) {
    if (image.segments.empty()) return ImageProblem::NoSegment;
    if (image.dataBytes == 0) return ImageProblem::AllSegmentsEmpty;
    if (image.bytesUnsent > kLongestTrailer) return ImageProblem::BytesUnsent;
    return ImageProblem::None;
}

// Why the download's own test refuses an image, for each way it does.
const char* RefusalText(ImageProblem refusal) {
    return refusal == ImageProblem::TooShort ? "shorter than 8 bytes"
                                             : "does not start with the image magic 78 56 34 12";
}

}  // namespace

ImageDescription DescribeImage(FirmwareImage image) {
    ImageDescription described;
    described.bytes = image;
    described.standIn = IsStandInImage(image);
    described.accepted = IsImageAccepted(image);
    if (!described.accepted) {
        described.problem = image.imageData == nullptr || image.imageSize < 8
                                ? ImageProblem::TooShort
                                : ImageProblem::NoMagic;
        return described;
    }
    described.beginWord = ReadBeginWord(image);
    described.walkedTo = kFirstSegmentHeader;
    WalkSegments(image, [&](const ImageSegment& segment) {
        described.segments.push_back(segment);
        CutSegment(segment, described.dataCommands);
        described.dataBytes += segment.length;
        described.walkedTo = segment.dataOffset + segment.length;
        const std::uint32_t segmentEnd = segment.loadAddress + segment.length;  // wraps mod 2^32
        if (segmentEnd > described.endAddress) described.endAddress = segmentEnd;
        return true;
    });
    // An image of 8 bytes ends before the first segment header would start.
    described.bytesUnsent =
        image.imageSize > described.walkedTo ? image.imageSize - described.walkedTo : 0;
    described.sendsEndCommand = image.imageSize >= kShortestImageWithSegments;
    described.beginPayload = BuildBeginPayload(described.beginWord, described.endAddress);
    described.checksum = SumOfCommands(described.beginPayload, described.dataCommands);
    described.problem = WalkProblem(described);
    return described;
}

const char* RefusalReason(const ImageDescription& image) {
    return image.accepted ? nullptr : RefusalText(image.problem);
}

std::string DescribeImageProblem(const ImageDescription& image) {
    char text[320] = {};
    switch (image.problem) {
    case ImageProblem::None: return "ok";
    case ImageProblem::TooShort:
    case ImageProblem::NoMagic: return RefusalText(image.problem);
    case ImageProblem::NoSegment: return "no segment is walked: a download would flash nothing";
    case ImageProblem::AllSegmentsEmpty:
        std::snprintf(text, sizeof text,
                      "all %" PRIu64 " walked segments are of length 0: a download would send its "
                      "begin and end commands and flash nothing",
                      static_cast<std::uint64_t>(image.segments.size()));
        return text;
    case ImageProblem::BytesUnsent:
        std::snprintf(text, sizeof text,
                      "the walk stops at offset %" PRIu64 ": the segment there does not end "
                      "before the end of the image, so %" PRIu64 " bytes are never sent "
                      "(a trailer is 1 to 8 bytes)",
                      image.walkedTo, image.bytesUnsent);
        return text;
    }
    return "refused";
}

}  // namespace fwup
