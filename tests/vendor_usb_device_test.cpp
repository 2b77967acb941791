#include "download/vendor_usb_device.h"

#include <gtest/gtest.h>

#include "download/download_protocol.h"
#include "test_images.h"

namespace fwup::test {
namespace {

// Two devices of the model on one link: the first listed is the one opened.
class TwoDevices : public UsbLink {
public:
    SimulatedDevice first;
    SimulatedDevice second;
    TwoDevices() {
        first.usbId = "1-1";
        second.usbId = "1-2";
        second.firstHandle = 0x900;
    }
    int searches = 0;
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus*) override {
        // A device plugged in after the first search comes first in the next.
        return ++searches == 1 ? std::vector<UsbDeviceInfo>{{"1-1", ""}, {"1-2", ""}}
                               : std::vector<UsbDeviceInfo>{{"1-2", ""}, {"1-1", ""}};
    }
    PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) override {
        return (device.id == "1-1" ? first : second).Open(device, why);
    }
    TransferResult Read(PlatformHandle, std::uint8_t*, std::uint32_t, std::uint32_t) override {
        return {};
    }
    TransferResult Write(PlatformHandle, const std::uint8_t*, std::uint32_t, std::uint32_t) override {
        return {};
    }
    void Close(PlatformHandle link) override { (first.OwnsHandle(link) ? first : second).Close(link); }
};

TEST(VendorUsbLink, OpensTheFirstListedDeviceOrTheOneNamed) {
    TwoDevices link;
    VendorUsbSearch search = OpenVendorUsbDevice(link);
    ASSERT_TRUE(search.device);
    EXPECT_EQ(search.deviceId, "1-1");
    EXPECT_EQ(link.searches, 1);  // both pipes from one search: nothing can split them
    EXPECT_EQ(link.first.OpenHandleCount(), 1);
    EXPECT_EQ(link.second.OpenHandleCount(), 0);
    CloseVendorUsbDevice(search.device);
    EXPECT_FALSE(search.device);
    EXPECT_EQ(link.first.OpenHandleCount(), 0);
    CloseVendorUsbDevice(search.device);  // closing nothing does nothing
    EXPECT_EQ(link.first.ProtocolErrors(), 0u);

    const UsbDeviceInfo second{"1-2", ""};
    search = OpenVendorUsbDevice(link, &second);
    ASSERT_TRUE(search.device);
    EXPECT_EQ(link.second.OpenHandleCount(), 1);
    CloseVendorUsbDevice(search.device);
    EXPECT_EQ(link.second.LinkEvents(), (std::vector<std::string>{"open", "close"}));
}

TEST(VendorUsbLink, NoDeviceOrAnOpenThatFailsGivesNothingAndSaysWhy) {
    struct Case {
        const char* what;
        DeviceMode mode;
        bool replyPipeOpens;
        LinkStatus refusal;
        LinkStatus status;
    };
    const Case cases[] = {
        {"absent", DeviceMode::Absent, true, LinkStatus::Ok, LinkStatus::NotFound},
        {"still in storage mode", DeviceMode::StorageMode, true, LinkStatus::Ok, LinkStatus::NotFound},
        {"reply pipe missing", DeviceMode::VendorMode, false, LinkStatus::Ok, LinkStatus::NotFound},
        {"no permission", DeviceMode::VendorMode, true, LinkStatus::NoPermission,
         LinkStatus::NoPermission},
        {"held by another", DeviceMode::VendorMode, true, LinkStatus::Busy, LinkStatus::Busy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device(c.mode);
        device.replyPipeOpens = c.replyPipeOpens;
        device.openRefusal = c.refusal;
        const VendorUsbSearch search = OpenVendorUsbDevice(device);
        EXPECT_FALSE(search.device);
        EXPECT_EQ(search.status, c.status);
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
}

TEST(VendorUsbLink, MissingCommandPipeFailsTheFirstWriteBeforeTheDevice) {
    SimulatedDevice device;
    device.commandPipeOpens = false;
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    ASSERT_TRUE(link);
    EXPECT_EQ(DownloadFirmware(*link, 1, Described(SmallImage()), 100), DownloadResult::Failed);
    EXPECT_TRUE(device.Traffic().empty());
    CloseVendorUsbDevice(link);
    EXPECT_EQ(device.OpenHandleCount(), 0);
    EXPECT_EQ(device.ProtocolErrors(), 0u);
}

TEST(VendorUsbLink, ShortReadReportsItsSmallerCountAndKeepsTheRest) {
    SimulatedDevice device;
    device.InjectFault(2, TransferFault::ShortReply);
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    const std::uint8_t header[6] = {0xEF, 0x01, 0x02, 0x08, 0x03, 0x00};
    const std::uint8_t payload[3] = {0x00, 0x00, 0x01};
    ASSERT_TRUE(WritePipe(*link, header, 6, 100));
    ASSERT_TRUE(WritePipe(*link, payload, 3, 100));
    std::uint8_t reply[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    std::uint32_t count = 0;
    EXPECT_TRUE(ReadPipe(*link, reply, 4, &count, 100));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(reply[1], 0xAA);  // unfilled bytes keep what they held
    CloseVendorUsbDevice(link);
}

}  // namespace
}  // namespace fwup::test
