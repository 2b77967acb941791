#include "download/download_protocol.h"

#include <gtest/gtest.h>

#include "test_images.h"

namespace fwup::test {
namespace {

Bytes Hex(std::initializer_list<int> values) {
    Bytes bytes;
    for (int value : values) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

const Bytes kSmallBeginPayload =
    Hex({0x58, 0xA7, 0x00, 0x80, 0x03, 0x1C, 0xD0, 0x00, 0xFC, 0x78, 0x56, 0x11, 0x11, 0x20, 0x1D, 0xD0,
         0x00, 0xFC, 0x78, 0x56, 0x44, 0x44, 0x20, 0x20, 0xD0, 0x00, 0xFC, 0x03, 0x20, 0x00, 0x80, 0x20});

TEST(DownloadProtocol, SmallImageSendsTheExampleSequence) {
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, SmallImage()), DownloadResult::Ok);
    const std::vector<Bytes> expected{
        Hex({0xEF, 0x01, 0x02, 0x01, 0x20, 0x00}), kSmallBeginPayload,
        Hex({0xEF, 0x01, 0x02, 0x02, 0x07, 0x00}), Hex({0x00, 0x20, 0x00, 0x80}),
        Hex({0x61, 0x62, 0x63}),
        Hex({0xEF, 0x01, 0x02, 0x08, 0x03, 0x00}), Hex({0x4E, 0x0C, 0x01}),
    };
    EXPECT_EQ(Writes(device), expected);
    // A 4-byte reply is read after each command, and only then.
    std::string order;
    for (const PipeTransfer& transfer : device.Traffic())
        order += transfer.isWrite ? 'W' : (transfer.count == 4 ? 'R' : '?');
    EXPECT_EQ(order, "WWRWWWRWWR");
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.ProtocolErrors(), 0u);
}

TEST(DownloadProtocol, ImageWithoutSegmentsSendsBeginThenEnd) {
    Bytes image = SmallImage();
    image.resize(20);
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, image), DownloadResult::Ok);
    const std::vector<Bytes> writes = Writes(device);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[1][27], 0x00);  // end address 0
    EXPECT_EQ(writes[2], Hex({0xEF, 0x01, 0x02, 0x08, 0x03, 0x00}));
    EXPECT_EQ(writes[3], Hex({0xE5, 0x09, 0x01}));  // the begin payload's sum alone
}

TEST(DownloadProtocol, ShortImageSendsOnlyTheBeginCommand) {
    for (std::size_t size : {8u, 12u, 16u}) {
        Bytes image = SmallImage();
        image.resize(size);
        SimulatedDevice device;
        EXPECT_EQ(DownloadTo(device, image), DownloadResult::Ok) << size;
        const std::vector<Bytes> writes = Writes(device);
        ASSERT_EQ(writes.size(), 2u) << size;
        EXPECT_EQ(Bytes(writes[1].begin() + 27, writes[1].begin() + 31), Bytes(4, 0)) << size;
    }
}

TEST(DownloadProtocol, RefusedImagesReachNothing) {
    Bytes wrongMagic = SmallImage();
    wrongMagic[0] = 0x79;
    Bytes tooShort = SmallImage();
    tooShort.resize(7);
    for (const Bytes& image : {wrongMagic, tooShort, Bytes{}}) {
        SimulatedDevice device;
        EXPECT_EQ(DownloadTo(device, image), DownloadResult::Failed);
        EXPECT_TRUE(device.Traffic().empty());
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
}

TEST(DownloadProtocol, SegmentIsCutIntoPiecesOfAtMost4096Bytes) {
    const Bytes data = Pattern(4097);
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, MakeImage({{0x80002000, data}})), DownloadResult::Ok);
    const std::vector<Bytes> writes = Writes(device);
    ASSERT_EQ(writes.size(), 2u + 3 + 3 + 2u);
    EXPECT_EQ(writes[2], Hex({0xEF, 0x01, 0x02, 0x02, 0x04, 0x10}));
    EXPECT_EQ(writes[3], Hex({0x00, 0x20, 0x00, 0x80}));
    EXPECT_EQ(writes[4].size(), 4096u);
    EXPECT_EQ(writes[5], Hex({0xEF, 0x01, 0x02, 0x02, 0x05, 0x00}));
    EXPECT_EQ(writes[6], Hex({0x00, 0x30, 0x00, 0x80}));
    EXPECT_EQ(writes[7], Bytes{data.back()});

    // Exactly 4096 bytes: one piece and no empty one; an empty segment: none.
    SimulatedDevice exact;
    ASSERT_EQ(DownloadTo(exact, MakeImage({{0x1000, Pattern(4096)}, {0x5000, {}}})),
              DownloadResult::Ok);
    EXPECT_EQ(Writes(exact).size(), 2u + 3 + 2u);
}

TEST(DownloadProtocol, EmbeddedImageGoesOutAsFourteenDataCommands) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, image), DownloadResult::Ok);
    const std::vector<Bytes> writes = Writes(device);
    EXPECT_EQ(writes.size(), 46u);
    EXPECT_EQ(device.Traffic().size() - writes.size(), 16u);

    EXPECT_EQ(Bytes(writes[1].begin(), writes[1].begin() + 4), Hex({0x58, 0xA7, 0x00, 0x80}));
    EXPECT_EQ(Bytes(writes[1].begin() + 27, writes[1].begin() + 31), Hex({0x18, 0xD2, 0x00, 0x80}));

    struct DataCommand {
        std::uint32_t address;
        std::uint32_t length;
    };
    std::vector<DataCommand> expected{{0x80002000, 256}};
    for (std::uint32_t i = 0; i < 9; ++i) expected.push_back({0x80002100 + i * 0x1000, 4096});
    expected.push_back({0x8000B100, 3028});
    expected.push_back({0x8000BCD4, 4096});
    expected.push_back({0x8000CCD4, 1168});
    expected.push_back({0x8000D164, 180});
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Bytes& header = writes[2 + 3 * i];
        const std::uint32_t lengthField = expected[i].length + 4;
        EXPECT_EQ(header, Hex({0xEF, 0x01, 0x02, 0x02, static_cast<int>(lengthField & 0xFF),
                               static_cast<int>(lengthField >> 8)}))
            << i;
        EXPECT_EQ(ReadLe32(writes[3 + 3 * i].data()), expected[i].address) << i;
        EXPECT_EQ(writes[4 + 3 * i].size(), expected[i].length) << i;
    }
    EXPECT_EQ(writes[44], Hex({0xEF, 0x01, 0x02, 0x08, 0x03, 0x00}));
    EXPECT_EQ(writes[45], Hex({0xC6, 0x5D, 0x01}));
}

TEST(DownloadProtocol, CompleteDownloadLeavesTheDeviceHoldingTheSegments) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, image), DownloadResult::Ok);
    const std::vector<HeldBlock> held = device.HeldMemory();
    ASSERT_EQ(held.size(), 1u);  // the four segments are contiguous on the device
    EXPECT_EQ(held[0].address, 0x80002000u);
    Bytes expected;
    WalkSegments(View(image), [&](const ImageSegment& segment) {
        expected.insert(expected.end(), segment.data, segment.data + segment.length);
        return true;
    });
    EXPECT_EQ(held[0].bytes, expected);
    EXPECT_EQ(device.OwnChecksum(), 0x5DC6);
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.ReceivedEndFlag(), 1);
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

TEST(DownloadProtocol, EndCarriesTheDescriptionsWrappedChecksum) {
    // 0xFF bytes enough to pass 65535 many times over; the device, summing on
    // its own, accepts the end command only if the host's low 16 bits agree.
    const Bytes image = MakeImage({{0x1000, Bytes(9000, 0xFF)}});
    SimulatedDevice device;
    ASSERT_EQ(DownloadTo(device, image), DownloadResult::Ok);
    EXPECT_TRUE(device.FirmwareComplete());
    const std::uint16_t checksum = Described(image).checksum;
    EXPECT_EQ(Writes(device).back(), Hex({checksum & 0xFF, checksum >> 8, 0x01}));
    EXPECT_EQ(device.OwnChecksum(), checksum);
}

TEST(DownloadProtocol, EndFlagGoesOutUnchangedInItsLowByte) {
    SimulatedDevice device;
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    EXPECT_EQ(SendEndCommand(*link, 0x1A5, 0, 100), DownloadResult::EndRejected);  // no begin yet
    EXPECT_EQ(Writes(device).back(), Hex({0x00, 0x00, 0xA5}));
    CloseVendorUsbDevice(link);
}

TEST(DownloadProtocol, DataCommandRefusesPiecesItCannotFrame) {
    SimulatedDevice device;
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    const Bytes data = Pattern(4097);
    EXPECT_EQ(SendDataCommand(*link, 0, data.data(), 0, 100), DownloadResult::Failed);
    EXPECT_EQ(SendDataCommand(*link, 0, data.data(), 4097, 100), DownloadResult::Failed);
    EXPECT_TRUE(device.Traffic().empty());
    CloseVendorUsbDevice(link);
}

// Records where each written buffer lay, to show data goes out of the image
// itself and not out of a copy.
class PointerRecorder : public UsbLink {
public:
    std::vector<std::pair<const std::uint8_t*, std::uint32_t>> writes;
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus*) override { return {}; }
    PlatformHandle Open(const UsbDeviceInfo&, LinkStatus*) override { return 1; }
    TransferResult Read(PlatformHandle, std::uint8_t* buffer, std::uint32_t,
                        std::uint32_t) override {
        buffer[0] = 0x02, buffer[1] = 0x00;
        return {LinkStatus::Ok, 4};
    }
    TransferResult Write(PlatformHandle, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t) override {
        writes.emplace_back(buffer, count);
        return {LinkStatus::Ok, count};
    }
    void Close(PlatformHandle) override {}
};

TEST(DownloadProtocol, DataWritesPointIntoTheImage) {
    const Bytes image = EmbeddedImage();
    PointerRecorder recorder;
    VendorUsbDevice device{&recorder, 1, LinkStatus::Ok};
    ASSERT_EQ(DownloadFirmware(device, 1, Described(image), 100), DownloadResult::Ok);
    int dataWrites = 0;
    for (std::size_t i = 4; i + 2 < recorder.writes.size(); i += 3) {
        const auto [buffer, count] = recorder.writes[i];
        EXPECT_GE(buffer, image.data() + 17);
        EXPECT_LE(buffer + count, image.data() + image.size() - 4);
        ++dataWrites;
    }
    EXPECT_EQ(dataWrites, 14);
}

}  // namespace
}  // namespace fwup::test
