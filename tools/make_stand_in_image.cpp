// Writes the stand-in firmware image the program embeds when the device's own
// image is not at hand. It has the exact layout of the device's image (45637
// bytes, four contiguous segments from 0x80002000 to 0x8000D218, the same
// beginWord, reserved byte and trailer), and content chosen so that its
// download carries the same checksum, 0x5DC6. The content is not a program:
// a device must never be given this image.
//
// usage: make-stand-in-image OUTPUT

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/stand_in_image.h"
#include "download/download_protocol.h"
#include "image/image_description.h"
#include "platform/simulation/simulated_device.h"

namespace {

struct SegmentLayout {
    std::uint32_t length;
    std::uint32_t loadAddress;
};

constexpr std::uint32_t kImageSize = 45637;
constexpr SegmentLayout kSegments[] = {
    {256, 0x80002000}, {39892, 0x80002100}, {5264, 0x8000BCD4}, {180, 0x8000D164}};
constexpr std::uint8_t kBeginWord[4] = {0x58, 0xA7, 0x00, 0x80};
constexpr std::uint16_t kTargetChecksum = 0x5DC6;
constexpr const char (&kNotice)[sizeof fwup::kStandInNotice] = fwup::kStandInNotice;

std::uint32_t NextRandom(std::uint32_t& state) {  // xorshift32: the same bytes on every build
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

struct SimulatedDownload {
    fwup::DownloadResult result;
    std::uint16_t deviceChecksum;  // the device's own sum of what it accepted
};

fwup::ImageDescription Describe(const std::vector<std::uint8_t>& image) {
    return fwup::DescribeImage({image.data(), static_cast<std::uint32_t>(image.size())});
}

SimulatedDownload DownloadToSimulatedDevice(const std::vector<std::uint8_t>& image) {
    fwup::SimulatedDevice device;
    std::optional<fwup::VendorUsbDevice> link = fwup::OpenVendorUsbDevice(device).device;
    const fwup::DownloadResult result = fwup::DownloadFirmware(
        *link, fwup::kUpdateEndFlag, Describe(image), fwup::kUpdateTimeoutMs);
    fwup::CloseVendorUsbDevice(link);
    return {result, device.OwnChecksum()};
}

std::vector<std::uint8_t> BuildImage() {
    std::vector<std::uint8_t> image(kImageSize, 0);
    image[0] = 0x78, image[1] = 0x56, image[2] = 0x34, image[3] = 0x12;
    std::memcpy(&image[4], kBeginWord, 4);
    std::uint32_t state = 0x2008'7639;
    std::size_t at = 9;
    std::size_t noticeAt = 0;
    for (const SegmentLayout& segment : kSegments) {
        fwup::StoreLe32(&image[at], segment.length);
        fwup::StoreLe32(&image[at + 4], segment.loadAddress);
        at += 8;
        noticeAt = at;
        for (std::uint32_t i = 0; i < segment.length; ++i)
            image[at + i] = static_cast<std::uint8_t>(NextRandom(state));
        at += segment.length;
    }
    // The last segment carries a UTF-16 notice, as the device's image carries
    // texts that name it.
    for (std::size_t i = 0; i + 1 < sizeof kNotice; ++i) {
        image[noticeAt + 2 * i] = static_cast<std::uint8_t>(kNotice[i]);
        image[noticeAt + 2 * i + 1] = 0;
    }
    // Raise bytes at the start of the second segment until the sum agrees.
    std::uint16_t missing = static_cast<std::uint16_t>(kTargetChecksum - Describe(image).checksum);
    for (std::size_t i = 281; missing > 0; ++i) {
        const std::uint16_t room = static_cast<std::uint16_t>(0xFF - image[i]);
        const std::uint16_t step = missing < room ? missing : room;
        image[i] = static_cast<std::uint8_t>(image[i] + step);
        missing = static_cast<std::uint16_t>(missing - step);
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-stand-in-image OUTPUT\n");
        return 2;
    }
    const std::vector<std::uint8_t> image = BuildImage();
    const SimulatedDownload check = DownloadToSimulatedDevice(image);
    if (check.result != fwup::DownloadResult::Ok || check.deviceChecksum != kTargetChecksum) {
        std::fprintf(stderr, "make-stand-in-image: the image does not download with checksum 0x%04X\n",
                     kTargetChecksum);
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    bool written = out != nullptr && std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (out != nullptr && std::fclose(out) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "make-stand-in-image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
