// fwimage: look into a firmware image before it is embedded or flashed.
//
//   fwimage info FILE    what the image holds and what a download of it sends
//   fwimage frames FILE  the exact pipe traffic of a download of it
//   fwimage check FILE   fails when the image would flash nothing or leave bytes unsent
//
// The traffic and the checksum come from the program's own DownloadFirmware
// run against the simulated device, never from a second implementation.

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "download/download_protocol.h"
#include "image/firmware_image.h"
#include "image/image_check.h"
#include "image/image_file.h"
#include "platform/simulation/simulated_device.h"

namespace {

using fwup::FirmwareImage;

// The segments a download sends, in file order.
std::vector<fwup::ImageSegment> Segments(FirmwareImage image) {
    std::vector<fwup::ImageSegment> segments;
    fwup::WalkSegments(image, [&](const fwup::ImageSegment& segment) {
        segments.push_back(segment);
        return true;
    });
    return segments;
}

struct RecordedDownload {
    fwup::DownloadResult result;
    std::vector<fwup::PipeTransfer> traffic;
};

// A download in which the device accepts every command, as the real device
// does with a good image.
RecordedDownload RecordDownload(FirmwareImage image) {
    fwup::SimulatedDevice device;
    std::optional<fwup::VendorUsbDevice> link = fwup::OpenVendorUsbDevice(device).device;
    const fwup::DownloadResult result =
        fwup::DownloadFirmware(*link, fwup::kUpdateEndFlag, image, fwup::kUpdateTimeoutMs);
    fwup::CloseVendorUsbDevice(link);
    return {result, device.Traffic()};
}

int Info(FirmwareImage image) {
    std::printf("size: %" PRIu32 " bytes\n", image.imageSize);
    if (!fwup::IsImageAccepted(image)) {
        std::printf("accepted: no (%s)\n", fwup::RefusalReason(image));
        std::printf("bytes never sent: %" PRIu32 "\n", image.imageSize);
        return 0;
    }
    const std::array<std::uint8_t, 4> word = fwup::ReadBeginWord(image);
    std::printf("accepted: yes\nbegin word: %02X %02X %02X %02X\n", word[0], word[1], word[2], word[3]);

    const std::vector<fwup::ImageSegment> segments = Segments(image);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const fwup::ImageSegment& segment = segments[i];
        std::printf("segment %zu: load address 0x%08" PRIX32 ", length %" PRIu32
                    ", header at %" PRIu64 ", data at %" PRIu64 "\n",
                    i, segment.loadAddress, segment.length,
                    segment.dataOffset - fwup::kSegmentHeaderSize, segment.dataOffset);
    }
    std::printf("end address: 0x%08" PRIX32 "\n", fwup::ComputeEndAddress(image));

    // Counted from the walk: a data piece can hold the bytes of a command header.
    std::printf("data commands: %" PRIu64 "\n", fwup::DataCommandCount(image));
    // The end command closes a download the device accepts: its payload is
    // the last write.
    const RecordedDownload download = RecordDownload(image);
    const fwup::PipeTransfer* endPayload = nullptr;
    for (const fwup::PipeTransfer& transfer : download.traffic)
        if (transfer.isWrite) endPayload = &transfer;
    if (download.result == fwup::DownloadResult::Ok && endPayload != nullptr &&
        endPayload->bytes.size() == fwup::kEndPayloadSize)
        std::printf("checksum: 0x%02X%02X\n", endPayload->bytes[1], endPayload->bytes[0]);
    else
        std::printf("checksum: none (no end command is sent)\n");

    const std::uint64_t reserved = image.imageSize > 8 ? 1 : 0;
    const std::uint64_t after = fwup::CheckImage(image).bytesUnsent;
    std::printf("bytes never sent: %" PRIu64 " (reserved byte %" PRIu64
                ", after the last segment %" PRIu64 ")\n",
                reserved + after, reserved, after);
    return 0;
}

int Frames(FirmwareImage image) {
    const RecordedDownload download = RecordDownload(image);
    for (const fwup::PipeTransfer& transfer : download.traffic) {
        if (!transfer.isWrite) {
            std::printf("R %" PRIu32 "\n", transfer.count);
            continue;
        }
        std::string line = "W";
        char hex[4];
        for (std::uint8_t byte : transfer.bytes) {
            std::snprintf(hex, sizeof hex, " %02X", byte);
            line += hex;
        }
        std::printf("%s\n", line.c_str());
    }
    std::printf("result %d\n", static_cast<int>(download.result));
    return 0;
}

int Check(const char* path, FirmwareImage image) {
    const fwup::ImageCheck check = fwup::CheckImage(image);
    if (check.problem != fwup::ImageProblem::None) {
        std::fprintf(stderr, "%s: %s\n", path, fwup::DescribeImageProblem(check).c_str());
        return 1;
    }
    std::printf("%s: ok: %" PRIu64 " segments, end address 0x%08" PRIX32 ", trailer of %" PRIu64
                " bytes\n",
                path, check.segments, fwup::ComputeEndAddress(image), check.bytesUnsent);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: fwimage info|frames|check FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    const std::string command = argv[1];
    if (command != "info" && command != "frames" && command != "check") return Usage();

    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!fwup::ReadImageFile(argv[2], bytes, error)) {
        std::fprintf(stderr, "fwimage: cannot read %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    const FirmwareImage image{bytes.empty() ? nullptr : bytes.data(),
                              static_cast<std::uint32_t>(bytes.size())};
    if (command == "info") return Info(image);
    if (command == "frames") return Frames(image);
    return Check(argv[2], image);
}
