#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_protocol.h"
#include "image/image_description.h"
#include "image/image_file.h"
#include "platform/simulation/simulated_device.h"

namespace fwup::test {

using Bytes = std::vector<std::uint8_t>;

// One segment of 61 62 63 at 0x80002000, then a four-byte trailer.
inline Bytes SmallImage() {
    return {0x78, 0x56, 0x34, 0x12, 0x58, 0xA7, 0x00, 0x80, 0x00, 0x03, 0x00, 0x00,
            0x00, 0x00, 0x20, 0x00, 0x80, 0x61, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00};
}

inline FirmwareImage View(const Bytes& bytes) {
    return {bytes.empty() ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size())};
}

// The description points into bytes, which must outlive it.
inline ImageDescription Described(const Bytes& bytes) { return DescribeImage(View(bytes)); }

// An image with the given segments (length taken from the data), then trailer.
struct SegmentSpec {
    std::uint32_t loadAddress;
    Bytes data;
};
inline Bytes MakeImage(const std::vector<SegmentSpec>& segments, Bytes trailer = {0, 0, 0, 0}) {
    Bytes image{0x78, 0x56, 0x34, 0x12, 0x58, 0xA7, 0x00, 0x80, 0x00};
    for (const SegmentSpec& segment : segments) {
        std::uint8_t header[8];
        StoreLe32(header, static_cast<std::uint32_t>(segment.data.size()));
        StoreLe32(header + 4, segment.loadAddress);
        image.insert(image.end(), header, header + 8);
        image.insert(image.end(), segment.data.begin(), segment.data.end());
    }
    image.insert(image.end(), trailer.begin(), trailer.end());
    return image;
}

inline Bytes Pattern(std::size_t size, std::uint8_t seed = 1) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

inline Bytes EmbeddedImage() {
    Bytes bytes;
    std::string error;
    ReadImageFile(FIRMWARE_IMAGE_PATH, bytes, error);
    return bytes;
}

// The image the tests build with (the stand-in), read and described once. Over
// a simulation it goes to the device as any image does.
inline const ImageDescription& TestImage() {
    static const Bytes bytes = EmbeddedImage();
    static const ImageDescription described = Described(bytes);
    return described;
}

// The whole Update sequence against a simulated device: open, download, close.
inline DownloadResult DownloadTo(SimulatedDevice& device, const Bytes& image) {
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    if (!link) return DownloadResult::Failed;
    const DownloadResult result =
        DownloadFirmware(*link, kUpdateEndFlag, Described(image), kUpdateTimeoutMs);
    CloseVendorUsbDevice(link);
    return result;
}

// The writes of a download, in order.
inline std::vector<Bytes> Writes(const SimulatedDevice& device) {
    std::vector<Bytes> writes;
    for (const PipeTransfer& transfer : device.Traffic())
        if (transfer.isWrite) writes.push_back(transfer.bytes);
    return writes;
}

}  // namespace fwup::test
