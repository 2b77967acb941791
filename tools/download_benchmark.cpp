// Host time of one whole download of the embedded image against a device that
// accepts every command at once: what the protocol code itself costs, next to
// the bus time of a full-speed device for the same 45 KB (about 30 ms).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "download/download_protocol.h"
#include "image/image_file.h"

namespace {

class AcceptingDevice : public fwup::UsbLink {
public:
    std::vector<fwup::UsbDeviceInfo> FindDevices(fwup::LinkStatus*) override { return {}; }
    fwup::PlatformHandle Open(const fwup::UsbDeviceInfo&, fwup::LinkStatus*) override {
        return 1;
    }
    fwup::TransferResult Read(fwup::PlatformHandle, std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t) override {
        const std::uint8_t reply[4] = {0x02, 0x00, 0x00, 0x00};
        std::memcpy(buffer, reply, count < 4 ? count : 4);
        return {fwup::LinkStatus::Ok, count < 4 ? count : 4};
    }
    fwup::TransferResult Write(fwup::PlatformHandle, const std::uint8_t* buffer,
                               std::uint32_t count, std::uint32_t) override {
        benchmark::DoNotOptimize(buffer);
        return {fwup::LinkStatus::Ok, count};
    }
    void Close(fwup::PlatformHandle) override {}
};

std::vector<std::uint8_t> LoadImage() {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!fwup::ReadImageFile(FIRMWARE_IMAGE_PATH, bytes, error))
        std::fprintf(stderr, "cannot read %s: %s\n", FIRMWARE_IMAGE_PATH, error.c_str());
    return bytes;
}

void BM_DownloadEmbeddedImage(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = LoadImage();
    const fwup::ImageDescription image =
        fwup::DescribeImage({bytes.data(), static_cast<std::uint32_t>(bytes.size())});
    AcceptingDevice platform;
    fwup::VendorUsbDevice device{&platform, 1, fwup::LinkStatus::Ok};
    for (auto _ : state) {
        const fwup::DownloadResult result =
            fwup::DownloadFirmware(device, fwup::kUpdateEndFlag, image, fwup::kUpdateTimeoutMs);
        if (result != fwup::DownloadResult::Ok) state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DownloadEmbeddedImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
