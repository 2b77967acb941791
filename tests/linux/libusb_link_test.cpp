// The libusb link against a device that umockdev emulates at the usbdevfs
// level: the real libusb, the real download, only the device is answered
// from the test.
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "download/download_protocol.h"
#include "linux/emulated_usb_device.h"
#include "linux/umockdev_testbed.h"
#include "platform/linux/libusb_usb_link.h"
#include "test_images.h"

namespace fwup::test {
namespace {

using Clock = std::chrono::steady_clock;

// The host's side alone runs on this thread; umockdev answers on its own.
double CpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The image's segments, laid end to end.
Bytes SegmentBytes(const Bytes& image) {
    Bytes bytes;
    WalkSegments(View(image), [&](const ImageSegment& segment) {
        bytes.insert(bytes.end(), segment.data, segment.data + segment.length);
        return true;
    });
    return bytes;
}

// Each test plugs in devices of its own, at port numbers not used before in
// this process, then starts libusb.
class LibusbLink : public testing::Test {
protected:
    void Plug(bool withOrdinaryDeviceFirst = true) {
        static int nextPort = 1;
        if (withOrdinaryDeviceFirst) {
            ordinaryPort_ = nextPort++;
            ordinary_ = std::make_unique<EmulatedUsbDevice>(
                Testbed(), "1-" + std::to_string(ordinaryPort_), ordinaryPort_ + 1, 0x0781,
                0x5567, false);
        }
        devicePort_ = nextPort++;
        device_ = std::make_unique<EmulatedUsbDevice>(
            Testbed(), "1-" + std::to_string(devicePort_), devicePort_ + 1, kVendorId, kProductId,
            true);
        platform_ = std::make_unique<LibusbUsbLink>();
    }
    void TearDown() override {
        platform_.reset();
        device_.reset();
        ordinary_.reset();
    }
    UsbDeviceInfo Device() const { return {"1-" + std::to_string(devicePort_), ""}; }

    int ordinaryPort_ = 0;
    int devicePort_ = 0;
    std::unique_ptr<EmulatedUsbDevice> ordinary_;
    std::unique_ptr<EmulatedUsbDevice> device_;
    std::unique_ptr<LibusbUsbLink> platform_;
};

TEST_F(LibusbLink, ListsTheModelsDevicesByPortPathWithTheirSerial) {
    Plug();
    device_->SetAttribute("serial", "ABC123\n");
    LinkStatus status = LinkStatus::Failed;
    const std::vector<UsbDeviceInfo> found = platform_->FindDevices(&status);
    EXPECT_EQ(status, LinkStatus::Ok);
    ASSERT_EQ(found.size(), 1u);  // the ordinary device is not of the model
    EXPECT_EQ(found[0].id, Device().id);
    EXPECT_EQ(found[0].serial, "ABC123");
}

TEST_F(LibusbLink, WholeDownloadLeavesTheDeviceHoldingExactlyTheImagesSegments) {
    Plug();
    const Bytes image = EmbeddedImage();
    const Clock::time_point start = Clock::now();
    const double hostCpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double allCpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);

    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(*platform_).device;
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(device_->ClaimedInterfaces(), 1);  // both pipes share one claim
    const DownloadResult result =
        DownloadFirmware(*link, kUpdateEndFlag, Described(image), kUpdateTimeoutMs);
    CloseVendorUsbDevice(link);

    const double hostCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - hostCpuStart;
    const double allCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - allCpuStart;
    const long wallMs = MsSince(start);
    ASSERT_EQ(result, DownloadResult::Ok);
    EXPECT_EQ(device_->ClaimedInterfaces(), 0);
    EXPECT_EQ(platform_->OpenLinkCount(), 0);

    const std::vector<UrbRecord> urbs = device_->Urbs();
    for (const UrbRecord& urb : urbs) EXPECT_EQ(urb.status, 0);
    const std::vector<HeldBlock> held = device_->Firmware().HeldMemory();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].address, 0x80002000u);
    EXPECT_EQ(held[0].bytes, SegmentBytes(image));
    EXPECT_TRUE(device_->Firmware().FirmwareComplete());
    EXPECT_EQ(device_->Firmware().ProtocolErrors(), 0u);

    const double transfers = static_cast<double>(urbs.size());
    std::printf("emulated download: %zu transfers in %ld ms; CPU a transfer: host %.0f us, "
                "host and emulation %.0f us\n",
                urbs.size(), wallMs, hostCpu * 1e6 / transfers, allCpu * 1e6 / transfers);
}

TEST_F(LibusbLink, ATimeLimitReportsThePartialCountAndFails) {
    Plug(false);
    const PlatformHandle link = platform_->Open(Device(), nullptr);
    ASSERT_NE(link, kInvalidHandleValue);
    device_->Plan(0, {UrbFault::TimeLimit, {0x02, 0x00}});
    std::uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    const Clock::time_point start = Clock::now();
    const TransferResult result = platform_->Read(link, buffer, 4, 200);
    const long elapsed = MsSince(start);
    EXPECT_EQ(result.status, LinkStatus::TimedOut);
    EXPECT_EQ(result.bytes, 2u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x02, 0x00, 0xAA, 0xAA}));
    EXPECT_EQ(device_->DiscardedUrbs(), 1);
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 1500);
    platform_->Close(link);
    EXPECT_EQ(device_->ClaimedInterfaces(), 0);
}

// Ctrl-C while the device keeps a reply back: the transfer is called back and
// waited for, the download ends Interrupted long before its time limit, and
// what arrived of the reply is not taken for one.
TEST_F(LibusbLink, AStopRequestCallsBackASilentTransferAtOnce) {
    Plug(false);
    device_->Plan(2, {UrbFault::TimeLimit, {0x02, 0x00}});
    std::atomic<bool> stop{false};
    platform_->StopWhen(&stop);
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(*platform_).device;
    ASSERT_TRUE(link.has_value());
    const Clock::time_point start = Clock::now();
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const DownloadResult result =
        DownloadFirmware(*link, kUpdateEndFlag, Described(EmbeddedImage()), kUpdateTimeoutMs);
    const long elapsed = MsSince(start);
    user.join();
    EXPECT_EQ(result, DownloadResult::Interrupted);
    EXPECT_EQ(link->lastStatus, LinkStatus::Cancelled);
    CloseVendorUsbDevice(link);
    EXPECT_EQ(device_->DiscardedUrbs(), 1);
    EXPECT_EQ(device_->SubmittedUrbs(), 3u);
    EXPECT_EQ(device_->ClaimedInterfaces(), 0);
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 1000);
}

// --all: a transfer the platform never gives back, not even when it is called
// back, is left behind when its call returns. The device answers it later,
// and another device's transfer handles the events that complete it: the
// answer must not land in the buffer the caller has long since reused.
TEST_F(LibusbLink, ATransferLeftInFlightNeverWritesTheCallersBufferLater) {
    Plug(false);
    static int port = 80;
    const std::string otherId = "1-" + std::to_string(port);
    EmulatedUsbDevice other(Testbed(), otherId, port + 1, kVendorId, kProductId, true);
    ++port;
    LibusbUsbLink platform;
    const PlatformHandle link = platform.Open(Device(), nullptr);
    const PlatformHandle otherLink = platform.Open({otherId, ""}, nullptr);
    ASSERT_NE(link, kInvalidHandleValue);
    ASSERT_NE(otherLink, kInvalidHandleValue);
    device_->Plan(0, {UrbFault::Withheld, {0x02, 0x00, 0x11, 0x22}});

    std::vector<std::uint8_t> callers(4, 0xAA);  // outlives the call, to be looked at
    const TransferResult result = platform.Read(link, callers.data(), 4, 100);
    EXPECT_EQ(result.status, LinkStatus::TimedOut);
    EXPECT_EQ(device_->DiscardedUrbs(), 1);
    // The device takes nothing more once a transfer is left with it.
    std::uint8_t again[4] = {};
    EXPECT_EQ(platform.Read(link, again, 4, 100).status, LinkStatus::DeviceGone);

    device_->ReleaseWithheld();
    const std::uint8_t command[6] = {0xEF, 0x01, 0x02, 0x01, 0x20, 0x00};
    EXPECT_TRUE(platform.Write(otherLink, command, 6, 1000).Completed());
    EXPECT_TRUE(platform.Write(otherLink, command, 6, 1000).Completed());
    ASSERT_EQ(device_->Urbs().size(), 1u);  // the answer was delivered
    EXPECT_EQ(callers, Bytes(4, 0xAA));
    platform.Close(otherLink);
    platform.Close(link);
}

// Faults in the middle of a download: the download fails at once, nothing is
// sent after the fault, and the link is closed cleanly.
struct DownloadFault {
    const char* name;
    std::uint32_t urbIndex;  // 0 header, 1 payload, 2 reply of the begin command; then data
    UrbPlan plan;
    LinkStatus status;
};

class LibusbLinkFault : public LibusbLink, public testing::WithParamInterface<DownloadFault> {};

TEST_P(LibusbLinkFault, EndsTheDownloadAtTheFault) {
    const DownloadFault& fault = GetParam();
    Plug();
    device_->Plan(fault.urbIndex, fault.plan);
    constexpr std::uint32_t kLimitMs = 300;
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(*platform_).device;
    ASSERT_TRUE(link.has_value());
    const Clock::time_point start = Clock::now();
    const DownloadResult result =
        DownloadFirmware(*link, kUpdateEndFlag, Described(EmbeddedImage()), kLimitMs);
    const long elapsed = MsSince(start);
    const LinkStatus status = link->lastStatus;
    CloseVendorUsbDevice(link);

    EXPECT_EQ(result, DownloadResult::Failed);
    EXPECT_EQ(status, fault.status);
    EXPECT_EQ(device_->SubmittedUrbs(), fault.urbIndex + 1) << "a transfer after the fault";
    EXPECT_FALSE(device_->Firmware().FirmwareComplete());
    EXPECT_EQ(platform_->OpenLinkCount(), 0);
    EXPECT_LT(elapsed, static_cast<long>(kLimitMs) + 1500);
    if (fault.status != LinkStatus::DeviceGone) {
        EXPECT_EQ(device_->ClaimedInterfaces(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LibusbLinkFault,
    testing::Values(
        DownloadFault{"TimeLimitWithPartialReply", 2, {UrbFault::TimeLimit, {0x02, 0x00}},
                      LinkStatus::TimedOut},
        DownloadFault{"TimeLimitOnAWrite", 7, {UrbFault::TimeLimit, {}},
                      LinkStatus::TimedOut},
        DownloadFault{"StallOnAWrite", 5, {UrbFault::Stall, {}}, LinkStatus::Stalled},
        DownloadFault{"StallOnAReply", 8, {UrbFault::Stall, {}}, LinkStatus::Stalled},
        DownloadFault{"UnpluggedInTheMiddle", 30, {UrbFault::Unplug, {}},
                      LinkStatus::DeviceGone}),
    [](const testing::TestParamInfo<DownloadFault>& info) { return info.param.name; });

TEST_F(LibusbLink, OneClaimForBothPipesReleasedOnClose) {
    Plug(false);
    LinkStatus why = LinkStatus::Failed;
    const PlatformHandle link = platform_->Open(Device(), &why);
    ASSERT_NE(link, kInvalidHandleValue);
    EXPECT_EQ(why, LinkStatus::Ok);
    EXPECT_EQ(device_->ClaimedInterfaces(), 1);
    const std::uint8_t bytes[6] = {0xEF, 0x01, 0x02, 0x01, 0x20, 0x00};
    const TransferResult written = platform_->Write(link, bytes, 6, 1000);
    EXPECT_TRUE(written.Completed());
    EXPECT_EQ(written.bytes, 6u);
    ASSERT_EQ(device_->Urbs().size(), 1u);
    EXPECT_EQ(device_->Urbs()[0].endpoint, 0x01);  // the bulk OUT endpoint
    platform_->Close(link);
    EXPECT_EQ(device_->ClaimedInterfaces(), 0);
    EXPECT_EQ(platform_->OpenLinkCount(), 0);
}

TEST_F(LibusbLink, AnInterfaceHeldElsewhereIsReportedBusy) {
    Plug(false);
    device_->RefuseClaim();
    const VendorUsbSearch search = OpenVendorUsbDevice(*platform_);
    EXPECT_FALSE(search.device);
    EXPECT_EQ(search.status, LinkStatus::Busy);
    EXPECT_EQ(search.deviceId, Device().id);
    EXPECT_EQ(platform_->OpenLinkCount(), 0);
}

TEST_F(LibusbLink, WithoutTheDeviceNothingIsOpened) {
    static int port = 60;
    EmulatedUsbDevice ordinary(Testbed(), "1-" + std::to_string(port), port + 1, 0x0781, 0x5567,
                               false);
    const std::string ordinaryId = "1-" + std::to_string(port);
    ++port;
    LibusbUsbLink platform;
    const VendorUsbSearch search = OpenVendorUsbDevice(platform);
    EXPECT_FALSE(search.device);
    EXPECT_EQ(search.status, LinkStatus::NotFound);
    LinkStatus why = LinkStatus::Ok;
    EXPECT_EQ(platform.Open({"1-99", ""}, &why), kInvalidHandleValue);
    EXPECT_EQ(why, LinkStatus::NotFound);
    EXPECT_EQ(platform.Open({ordinaryId, ""}, &why), kInvalidHandleValue);  // not of the model
    EXPECT_EQ(why, LinkStatus::NotFound);
}

}  // namespace
}  // namespace fwup::test
