// Arbitrary bytes as an image: the walk never reads outside them
// (AddressSanitizer watches), every segment it yields lies inside the image
// and ends before its last byte, and the description agrees with the walk:
// its segments, its end address (the largest sum), its data commands (each
// segment cut into pieces of at most MaxChunkSize, in order), its data bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/image_description.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > UINT32_MAX) return 0;
    // An exact-size copy, so a read one past the end is caught.
    std::vector<std::uint8_t> bytes(data, data + size);
    const fwup::FirmwareImage image{bytes.empty() ? nullptr : bytes.data(),
                                    static_cast<std::uint32_t>(size)};
    std::vector<fwup::ImageSegment> walked;
    std::uint32_t largestEnd = 0;
    std::uint64_t previousEnd = fwup::kFirstSegmentHeader;
    fwup::WalkSegments(image, [&](const fwup::ImageSegment& segment) {
        const std::uint64_t end = segment.dataOffset + segment.length;
        Require(segment.dataOffset == previousEnd + fwup::kSegmentHeaderSize && end < size &&
                segment.data == bytes.data() + segment.dataOffset);
        previousEnd = end;
        const std::uint32_t sum = segment.loadAddress + segment.length;
        if (sum > largestEnd) largestEnd = sum;
        walked.push_back(segment);
        return true;
    });

    const fwup::ImageDescription described = fwup::DescribeImage(image);
    Require(described.accepted == fwup::IsImageAccepted(image));
    if (!described.accepted) {
        Require(described.segments.empty() && described.dataCommands.empty());
        return 0;
    }
    Require(described.endAddress == largestEnd);
    Require(described.segments.size() == walked.size());
    std::size_t next = 0;  // the description's next data command
    std::uint64_t dataBytes = 0;
    for (std::size_t i = 0; i < walked.size(); ++i) {
        const fwup::ImageSegment& segment = walked[i];
        Require(described.segments[i].dataOffset == segment.dataOffset);
        std::uint32_t address = segment.loadAddress;
        std::uint32_t done = 0;
        while (done < segment.length) {
            Require(next < described.dataCommands.size());
            const fwup::DataCommand& command = described.dataCommands[next++];
            const std::uint32_t left = segment.length - done;
            Require(command.address == address && command.data == segment.data + done &&
                    command.length == (left < fwup::MaxChunkSize ? left : fwup::MaxChunkSize));
            address += command.length;
            done += command.length;
        }
        dataBytes += segment.length;
    }
    Require(next == described.dataCommands.size());
    Require(described.dataBytes == dataBytes);
    Require(described.sendsEndCommand == (size >= fwup::kShortestImageWithSegments));
    return 0;
}
