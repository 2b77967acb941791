// Arbitrary bytes as an image: the walk never reads outside them
// (AddressSanitizer watches), every segment it yields lies inside the image
// and ends before its last byte, and the end address is the largest sum.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > UINT32_MAX) return 0;
    // An exact-size copy, so a read one past the end is caught.
    std::vector<std::uint8_t> bytes(data, data + size);
    const fwup::FirmwareImage image{bytes.empty() ? nullptr : bytes.data(),
                                    static_cast<std::uint32_t>(size)};
    std::uint32_t largestEnd = 0;
    std::uint64_t previousEnd = fwup::kFirstSegmentHeader;
    fwup::WalkSegments(image, [&](const fwup::ImageSegment& segment) {
        const std::uint64_t end = segment.dataOffset + segment.length;
        if (segment.dataOffset != previousEnd + fwup::kSegmentHeaderSize || end >= size ||
            segment.data != bytes.data() + segment.dataOffset)
            std::abort();
        previousEnd = end;
        const std::uint32_t sum = segment.loadAddress + segment.length;
        if (sum > largestEnd) largestEnd = sum;
        return true;
    });
    if (fwup::ComputeEndAddress(image) != largestEnd) std::abort();
    if (fwup::IsImageAccepted(image)) (void)fwup::ReadBeginWord(image);
    return 0;
}
