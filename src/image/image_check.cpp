#include "image/image_check.h"

#include <cinttypes>
#include <cstdio>

namespace fwup {
namespace {

constexpr std::uint64_t kLongestTrailer = 8;

// What the download's own test makes of the image: None, TooShort or NoMagic.
ImageProblem Refusal(FirmwareImage image) {
    if (IsImageAccepted(image)) return ImageProblem::None;
    return image.imageData == nullptr || image.imageSize < 8 ? ImageProblem::TooShort
                                                             : ImageProblem::NoMagic;
}

// Why the download's own test refuses an image, for each way it does.
const char* RefusalText(ImageProblem refusal) {
    return refusal == ImageProblem::TooShort ? "shorter than 8 bytes"
                                             : "does not start with the image magic 78 56 34 12";
}

}  // namespace

ImageCheck CheckImage(FirmwareImage image) {
    ImageCheck check;
    check.problem = Refusal(image);
    if (check.problem != ImageProblem::None) return check;
    check.walkedTo = kFirstSegmentHeader;
    WalkSegments(image, [&](const ImageSegment& segment) {
        ++check.segments;
        check.dataBytes += segment.length;
        check.walkedTo = segment.dataOffset + segment.length;
        return true;
    });
    // An image of 8 bytes ends before the first segment header would start.
    check.bytesUnsent = image.imageSize > check.walkedTo ? image.imageSize - check.walkedTo : 0;
    if (check.segments == 0) check.problem = ImageProblem::NoSegment;
    else if (check.dataBytes == 0) check.problem = ImageProblem::AllSegmentsEmpty;
    else if (check.bytesUnsent > kLongestTrailer) check.problem = ImageProblem::BytesUnsent;
    return check;
}

const char* RefusalReason(FirmwareImage image) {
    const ImageProblem refusal = Refusal(image);
    return refusal == ImageProblem::None ? nullptr : RefusalText(refusal);
}

std::string DescribeImageProblem(const ImageCheck& check) {
    char text[320] = {};
    switch (check.problem) {
    case ImageProblem::None: return "ok";
    case ImageProblem::TooShort:
    case ImageProblem::NoMagic: return std::string("refused: ") + RefusalText(check.problem);
    case ImageProblem::NoSegment: return "no segment is walked: a download would flash nothing";
    case ImageProblem::AllSegmentsEmpty:
        std::snprintf(text, sizeof text,
                      "all %" PRIu64 " walked segments are of length 0: a download would send its "
                      "begin and end commands and flash nothing",
                      check.segments);
        return text;
    case ImageProblem::BytesUnsent:
        std::snprintf(text, sizeof text,
                      "the walk stops at offset %" PRIu64 ": the segment there does not end "
                      "before the end of the image, so %" PRIu64 " bytes are never sent "
                      "(a trailer is 1 to 8 bytes)",
                      check.walkedTo, check.bytesUnsent);
        return text;
    }
    return "refused";
}

}  // namespace fwup
