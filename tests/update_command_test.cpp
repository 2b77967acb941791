#include "download/update_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gbk_text.h"
#include "test_images.h"

namespace fwup::test {
namespace {

// Records every status text, as the user would have seen them in turn.
class RecordingInterface : public UserInterface {
public:
    std::vector<std::string> statusTexts;
    int questions = 0;

    void SetStatusText(const char* text) override { statusTexts.emplace_back(text); }
    bool AskYesNo(const char*, const char*) override {
        ++questions;
        return false;
    }
};

const std::string kOpenFailed = "Open the driver failed";
const std::string kWait = "Update the firmware, Please wait...";
const std::string kSucceeded = "Update the firmware successfully";
const std::string kFailed = "Update the firmware failure";

// The embedded image's transfers: begin is 0..2, the first data command 3..6,
// the end command the last three.
constexpr std::uint32_t kBeginReply = 2;
constexpr std::uint32_t kFirstDataReply = 6;
constexpr std::uint32_t kEndReply = 61;

std::vector<std::string> Update(SimulatedDevice& device, const Bytes& image,
                                LanguageFlag languageFlag = 1) {
    RecordingInterface ui;
    EXPECT_EQ(OnUpdate(device, ui, languageFlag, View(image)), 0);
    EXPECT_EQ(ui.questions, 0);
    return ui.statusTexts;
}

TEST(UpdateCommand, NoDeviceShowsTheOpenFailureAlone) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice absent(DeviceMode::Absent);
    EXPECT_EQ(Update(absent, image), std::vector<std::string>{kOpenFailed});

    SimulatedDevice otherDevicesOnly(DeviceMode::Absent);
    otherDevicesOnly.otherInterfaces = {"\\\\?\\usb#vid_2008&pid_7640#1", "\\\\?\\usb#VID_2008&PID_7639#2"};
    EXPECT_EQ(Update(otherDevicesOnly, image), std::vector<std::string>{kOpenFailed});

    SimulatedDevice replyPipeRefused;
    replyPipeRefused.replyPipeOpens = false;
    EXPECT_EQ(Update(replyPipeRefused, image), std::vector<std::string>{kOpenFailed});

    for (const SimulatedDevice* device : {&absent, &otherDevicesOnly, &replyPipeRefused}) {
        EXPECT_TRUE(device->Traffic().empty());
        EXPECT_EQ(device->OpenHandleCount(), 0);
    }
}

TEST(UpdateCommand, WholeDownloadShowsWaitThenSuccessAndClosesTheDevice) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice device;
    EXPECT_EQ(Update(device, image), (std::vector<std::string>{kWait, kSucceeded}));
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.ReceivedEndFlag(), 1);
    EXPECT_EQ(device.ProtocolErrors(), 0u);
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

TEST(UpdateCommand, EveryKindOfFailureShowsTheSameFailureTextAndClosesTheDevice) {
    const Bytes image = EmbeddedImage();
    struct Case {
        const char* name;
        std::function<void(SimulatedDevice&)> arrange;
        const Bytes* image;
    };
    const Bytes noImage;
    const Bytes wrongMagic{0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {"begin rejected", [](SimulatedDevice& d) { d.InjectFault(kBeginReply, TransferFault::RejectStatus); }, &image},
        {"data rejected", [](SimulatedDevice& d) { d.InjectFault(kFirstDataReply, TransferFault::RejectStatus); }, &image},
        {"end rejected", [](SimulatedDevice& d) { d.InjectFault(kEndReply, TransferFault::RejectStatus); }, &image},
        {"write fails", [](SimulatedDevice& d) { d.InjectFault(3, TransferFault::Fails); }, &image},
        {"short reply", [](SimulatedDevice& d) { d.InjectFault(kBeginReply, TransferFault::ShortReply); }, &image},
        {"stops answering", [](SimulatedDevice& d) { d.StopAnsweringFrom(20); }, &image},
        {"command pipe missing", [](SimulatedDevice& d) { d.commandPipeOpens = false; }, &image},
        {"no image", [](SimulatedDevice&) {}, &noImage},
        {"not an image", [](SimulatedDevice&) {}, &wrongMagic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device;
        c.arrange(device);
        EXPECT_EQ(Update(device, *c.image), (std::vector<std::string>{kWait, kFailed}));
        EXPECT_FALSE(device.FirmwareComplete());
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
}

TEST(UpdateCommand, RefusedImageSendsNothing) {
    for (const Bytes& image : {Bytes{}, Bytes{0x78, 0x56, 0x34}, Bytes(64, 0)}) {
        SimulatedDevice device;
        Update(device, image);
        EXPECT_TRUE(device.Traffic().empty()) << image.size();
    }
}

TEST(UpdateCommand, SilentDeviceFailsOneTimeLimitAfterItsLastAnswer) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice device;
    device.StopAnsweringFrom(20);
    Update(device, image);
    EXPECT_EQ(device.ElapsedMs(), 10000u);
    EXPECT_EQ(device.Traffic().size(), 21u);  // nothing is tried after the silent transfer
}

TEST(UpdateCommand, SecondPressDownloadsAfreshOrReportsTheMissingDevice) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice device;
    device.InjectFault(kFirstDataReply, TransferFault::RejectStatus);
    EXPECT_EQ(Update(device, image), (std::vector<std::string>{kWait, kFailed}));
    const std::size_t firstRun = device.Traffic().size();

    EXPECT_EQ(Update(device, image), (std::vector<std::string>{kWait, kSucceeded}));
    EXPECT_TRUE(device.FirmwareComplete());
    // The second run starts again with the begin command.
    EXPECT_EQ(device.Traffic()[firstRun].bytes, device.Traffic()[0].bytes);
    EXPECT_EQ(device.OpenHandleCount(), 0);

    device.mode = DeviceMode::Absent;
    EXPECT_EQ(Update(device, image), std::vector<std::string>{kOpenFailed});
}

TEST(UpdateCommand, ChineseTextsThroughoutWhenTheFlagIsClear) {
    const Bytes image = EmbeddedImage();
    auto chinese = [](const std::vector<std::string>& texts) {
        std::vector<std::string> readable;
        for (const std::string& text : texts) readable.push_back(Utf8FromGbk(text.c_str()));
        return readable;
    };
    SimulatedDevice absent(DeviceMode::Absent);
    EXPECT_EQ(chinese(Update(absent, image, 0)), std::vector<std::string>{"打开驱动失败"});

    SimulatedDevice good;
    EXPECT_EQ(chinese(Update(good, image, 0)),
              (std::vector<std::string>{"正在更新固件, 请等候......", "更新固件成功"}));

    SimulatedDevice rejecting;
    rejecting.InjectFault(kEndReply, TransferFault::RejectStatus);
    EXPECT_EQ(chinese(Update(rejecting, image, 0)),
              (std::vector<std::string>{"正在更新固件, 请等候......", "更新固件失败"}));
}

}  // namespace
}  // namespace fwup::test
