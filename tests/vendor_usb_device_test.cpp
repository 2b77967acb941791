#include "download/vendor_usb_device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/interface_detail.h"
#include "test_images.h"

namespace fwup::test {
namespace {

const std::string kOtherDevice =
    "\\\\?\\usb#vid_046d&pid_c52b#6&1b2c3d&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST(VendorUsbLink, PathTestIsCaseSensitiveAndOrderFree) {
    EXPECT_TRUE(InterfacePathMatches("usb#vid_2008&pid_7639#1", "vid_2008", "pid_7639"));
    EXPECT_TRUE(InterfacePathMatches("x#pid_7639#vid_2008", "vid_2008", "pid_7639"));
    EXPECT_FALSE(InterfacePathMatches("usb#VID_2008&PID_7639#1", "vid_2008", "pid_7639"));
    EXPECT_FALSE(InterfacePathMatches("usb#vid_2008&pid_7630#1", "vid_2008", "pid_7639"));
}

TEST(VendorUsbLink, PipePathIsComposedWithoutTruncation) {
    EXPECT_EQ(ComposePipePath("dev", "PIPE00"), "dev\\PIPE00");
    const std::string longest(250, 'p');
    EXPECT_EQ(ComposePipePath(longest, "PIPE01").size(), 257u);  // 258 with the zero
}

TEST(VendorUsbLink, OpensBothPipesBelowTheFirstMatchingDevice) {
    SimulatedDevice device;
    device.otherInterfaces = {kOtherDevice, "usb#VID_2008&PID_7639#capitals"};
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device);
    ASSERT_TRUE(link);
    EXPECT_NE(link->replyPipe, kInvalidHandleValue);
    EXPECT_NE(link->commandPipe, kInvalidHandleValue);
    EXPECT_NE(link->replyPipe, link->commandPipe);
    EXPECT_EQ(device.OpenHandleCount(), 2);
    CloseVendorUsbDevice(link);
    EXPECT_FALSE(link);
    EXPECT_EQ(device.OpenHandleCount(), 0);
    CloseVendorUsbDevice(link);  // closing nothing does nothing
    EXPECT_EQ(device.ProtocolErrors(), 0u);
}

TEST(VendorUsbLink, SecondMatchingDeviceIsNeverUsed) {
    // A matching path first whose pipes do not exist: the search stops there.
    SimulatedDevice device;
    device.otherInterfaces = {"usb#vid_2008&pid_7639#first"};
    EXPECT_FALSE(OpenVendorUsbDevice(device));
}

TEST(VendorUsbLink, NoDeviceOrNoReplyPipeGivesNothing) {
    SimulatedDevice absent(DeviceMode::Absent);
    absent.otherInterfaces = {kOtherDevice};
    EXPECT_FALSE(OpenVendorUsbDevice(absent));

    SimulatedDevice noReplyPipe;
    noReplyPipe.replyPipeOpens = false;
    EXPECT_FALSE(OpenVendorUsbDevice(noReplyPipe));
    EXPECT_EQ(noReplyPipe.OpenHandleCount(), 0);
}

TEST(VendorUsbLink, PathLongerThan250EndsTheSearch) {
    SimulatedDevice device;
    device.otherInterfaces = {std::string(251, 'x')};
    EXPECT_FALSE(OpenVendorUsbDevice(device));

    SimulatedDevice fits;
    fits.otherInterfaces = {std::string(250, 'x')};
    EXPECT_TRUE(OpenVendorUsbDevice(fits));
}

TEST(VendorUsbLink, MissingCommandPipeFailsTheFirstWriteWithoutThePlatform) {
    SimulatedDevice device;
    device.commandPipeOpens = false;
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->commandPipe, kInvalidHandleValue);
    EXPECT_EQ(DownloadFirmware(*link, 1, View(SmallImage()), 100), DownloadResult::Failed);
    EXPECT_TRUE(device.Traffic().empty());
    CloseVendorUsbDevice(link);
    EXPECT_EQ(device.OpenHandleCount(), 0);
    EXPECT_EQ(device.ProtocolErrors(), 0u);  // the invalid pipe was not closed
}

TEST(VendorUsbLink, TransferOnInvalidHandleLeavesTheCountAlone) {
    SimulatedDevice device;
    std::uint8_t buffer[4] = {};
    std::uint32_t count = 77;
    EXPECT_FALSE(ReadPipe(device, kInvalidHandleValue, buffer, 4, &count, 100));
    EXPECT_FALSE(WritePipe(device, kInvalidHandleValue, buffer, 4, &count, 100));
    EXPECT_EQ(count, 77u);
    EXPECT_TRUE(device.Traffic().empty());
}

TEST(VendorUsbLink, ShortReadReportsItsSmallerCount) {
    SimulatedDevice device;
    device.InjectFault(2, TransferFault::ShortReply);
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device);
    const std::uint8_t header[6] = {0xEF, 0x01, 0x02, 0x08, 0x03, 0x00};
    const std::uint8_t payload[3] = {0x00, 0x00, 0x01};
    ASSERT_TRUE(WritePipe(device, link->commandPipe, header, 6, nullptr, 100));
    ASSERT_TRUE(WritePipe(device, link->commandPipe, payload, 3, nullptr, 100));
    std::uint8_t reply[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    std::uint32_t count = 0;
    EXPECT_TRUE(ReadPipe(device, link->replyPipe, reply, 4, &count, 100));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(reply[1], 0xAA);  // unfilled bytes keep what they held
    CloseVendorUsbDevice(link);
}

TEST(InterfaceDetail, SizeAndFitTests) {
    const char path[] = "usb#vid_2008&pid_7639#1";
    const std::uint32_t required = 4 + sizeof path;
    char out[64];
    std::memset(out, 'z', sizeof out);
    EXPECT_TRUE(CopyInterfacePath(path, required, out, required));
    EXPECT_STREQ(out, path);
    EXPECT_FALSE(CopyInterfacePath(path, required, out, required - 1));
    // Sizes below the record's fixed head fail instead of writing past it.
    for (std::uint32_t tiny : {0u, 1u, 4u}) {
        EXPECT_FALSE(InterfaceDetailSizeUsable(tiny));
        EXPECT_FALSE(CopyInterfacePath(path, tiny, out, 255));
    }
    EXPECT_TRUE(InterfaceDetailSizeUsable(5));
    // A path without its zero inside the record is cut at the record's end.
    const char unterminated[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_TRUE(CopyInterfacePath(unterminated, 4 + 4, out, 255));
    EXPECT_STREQ(out, "abc");
}

}  // namespace
}  // namespace fwup::test
