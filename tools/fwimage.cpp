// fwimage: look into a firmware image before it is embedded or flashed.
//
//   fwimage info FILE    what the image holds and what a download of it sends
//   fwimage frames FILE  the exact pipe traffic of a download of it
//   fwimage check FILE   fails when the image would flash nothing or leave bytes unsent
//
// What it tells comes from the program's own description of the image, and
// the traffic from the program's own DownloadFirmware run against the
// simulated device: never from a second implementation.

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "download/download_protocol.h"
#include "image/image_description.h"
#include "image/image_file.h"
#include "platform/simulation/simulated_device.h"

namespace {

using fwup::ImageDescription;

struct RecordedDownload {
    fwup::DownloadResult result;
    std::vector<fwup::PipeTransfer> traffic;
};

// A download in which the device accepts every command, as the real device
// does with a good image.
RecordedDownload RecordDownload(const ImageDescription& image) {
    fwup::SimulatedDevice device;
    std::optional<fwup::VendorUsbDevice> link = fwup::OpenVendorUsbDevice(device).device;
    const fwup::DownloadResult result =
        fwup::DownloadFirmware(*link, fwup::kUpdateEndFlag, image, fwup::kUpdateTimeoutMs);
    fwup::CloseVendorUsbDevice(link);
    return {result, device.Traffic()};
}

int Info(const ImageDescription& image) {
    const std::uint32_t size = image.bytes.imageSize;
    std::printf("size: %" PRIu32 " bytes\n", size);
    if (!image.accepted) {
        std::printf("accepted: no (%s)\n", fwup::RefusalReason(image));
        std::printf("bytes never sent: %" PRIu32 "\n", size);
        return 0;
    }
    const std::array<std::uint8_t, 4>& word = image.beginWord;
    std::printf("accepted: yes\nbegin word: %02X %02X %02X %02X\n", word[0], word[1], word[2], word[3]);

    for (std::size_t i = 0; i < image.segments.size(); ++i) {
        const fwup::ImageSegment& segment = image.segments[i];
        std::printf("segment %zu: load address 0x%08" PRIX32 ", length %" PRIu32
                    ", header at %" PRIu64 ", data at %" PRIu64 "\n",
                    i, segment.loadAddress, segment.length,
                    segment.dataOffset - fwup::kSegmentHeaderSize, segment.dataOffset);
    }
    std::printf("end address: 0x%08" PRIX32 "\n", image.endAddress);
    std::printf("data commands: %zu\n", image.dataCommands.size());
    if (image.sendsEndCommand)
        std::printf("checksum: 0x%04X\n", static_cast<unsigned>(image.checksum));
    else
        std::printf("checksum: none (no end command is sent)\n");

    const std::uint64_t reserved = size > 8 ? 1 : 0;
    const std::uint64_t after = image.bytesUnsent;
    std::printf("bytes never sent: %" PRIu64 " (reserved byte %" PRIu64
                ", after the last segment %" PRIu64 ")\n",
                reserved + after, reserved, after);
    return 0;
}

int Frames(const ImageDescription& image) {
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

int Check(const char* path, const ImageDescription& image) {
    if (image.problem != fwup::ImageProblem::None) {
        std::fprintf(stderr, "%s: refused: %s\n", path, fwup::DescribeImageProblem(image).c_str());
        return 1;
    }
    std::printf("%s: ok: %zu segments, end address 0x%08" PRIX32 ", trailer of %" PRIu64
                " bytes\n",
                path, image.segments.size(), image.endAddress, image.bytesUnsent);
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
    const ImageDescription image = fwup::DescribeImage(
        {bytes.empty() ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size())});
    if (command == "info") return Info(image);
    if (command == "frames") return Frames(image);
    return Check(argv[2], image);
}
