#include "app/dialog/dialog_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gbk_to_utf8.h"
#include "recording_user_interface.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace fwup::test {
namespace {

const std::string kOpenFailed = "Open the driver failed";
const std::string kWait = "Update the firmware, Please wait...";
const std::string kSucceeded = "Update the firmware successfully";
const std::string kFailed = "Update the firmware failure";

// The embedded image's transfers: the first data command is 3..6, the end
// command the last three.
constexpr std::uint32_t kFirstDataReply = 6;
constexpr std::uint32_t kEndReply = 61;

std::vector<std::string> Update(SimulatedDevice& device, const Bytes& image,
                                LanguageFlag languageFlag = 1) {
    RecordingUserInterface ui;
    OnUpdate(device, ui, languageFlag, Described(image), Hardware::Simulated);
    EXPECT_TRUE(ui.questions.empty());
    return ui.statusTexts;
}

TEST(UpdateCommand, NoDeviceShowsTheOpenFailureAlone) {
    const Bytes image = EmbeddedImage();
    SimulatedDevice absent(DeviceMode::Absent);
    EXPECT_EQ(Update(absent, image), std::vector<std::string>{kOpenFailed});

    SimulatedDevice stillInStorageMode(DeviceMode::StorageMode);
    EXPECT_EQ(Update(stillInStorageMode, image), std::vector<std::string>{kOpenFailed});

    SimulatedDevice replyPipeRefused;
    replyPipeRefused.replyPipeOpens = false;
    EXPECT_EQ(Update(replyPipeRefused, image), std::vector<std::string>{kOpenFailed});

    for (const SimulatedDevice* device : {&absent, &stillInStorageMode, &replyPipeRefused}) {
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

// Faults at each transfer are crossed with the command in download_fault_test.cpp.
TEST(UpdateCommand, RefusedImageOrMissingCommandPipeShowsTheFailureTextAfterTheWait) {
    const Bytes image = EmbeddedImage();
    const Bytes noImage;
    const Bytes tooShort{0x78, 0x56, 0x34};
    const Bytes wrongMagic{0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0};
    // Accepted by the download's own test, but it would send the begin
    // command alone, or leave a segment unsent.
    const Bytes beginOnly{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0x80, 0, 0, 0, 0};
    const Bytes segmentCutShort = MakeImage({{0x80002000, {1, 2, 3}}}, {});
    struct Case {
        const char* name;
        const Bytes* image;
        bool commandPipeOpens;
    };
    const Case cases[] = {
        {"no image", &noImage, true},
        {"image too short", &tooShort, true},
        {"not an image", &wrongMagic, true},
        {"the begin command alone", &beginOnly, true},
        {"a segment cut short", &segmentCutShort, true},
        {"command pipe missing", &image, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device;
        device.commandPipeOpens = c.commandPipeOpens;
        EXPECT_EQ(Update(device, *c.image), (std::vector<std::string>{kWait, kFailed}));
        EXPECT_TRUE(device.Traffic().empty());  // nothing reaches the device
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
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
        for (const std::string& text : texts) readable.push_back(GbkToUtf8(text.c_str()));
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

// Each button takes the image and what the program speaks to; only the
// stand-in over real hardware leaves the device as it was.
TEST(DialogCommands, OnlyTheStandInOverRealHardwareChangesNothing) {
    const std::string standInText = "Test image only: rebuild with the device's own image";
    const std::string cleared = "Clear the original firmware successfully";
    const Bytes bytes = EmbeddedImage();
    for (bool standIn : {false, true}) {
        for (Hardware hardware : {Hardware::Real, Hardware::Simulated}) {
            SCOPED_TRACE(testing::Message() << "stand-in " << standIn << ", real "
                                            << (hardware == Hardware::Real));
            ImageDescription image = Described(bytes);
            image.standIn = standIn;
            const bool unchanged = standIn && hardware == Hardware::Real;

            SimulatedDevice vendor;
            RecordingUserInterface updateUi;
            OnUpdate(vendor, updateUi, 1, image, hardware);
            EXPECT_EQ(vendor.FirmwareComplete(), !unchanged);
            EXPECT_EQ(vendor.Traffic().empty(), unchanged);
            EXPECT_EQ(updateUi.statusTexts.back(), unchanged ? standInText : kSucceeded);

            SimulatedDevice storage = DeviceInStorageMode("E", 0x0240);
            RecordingUserInterface clearUi;
            clearUi.answer = true;
            OnClear(storage, clearUi, 1, image, hardware);
            EXPECT_EQ(storage.EraseCount(), unchanged ? 0u : 1u);
            EXPECT_EQ(clearUi.status, unchanged ? standInText : cleared);
            EXPECT_EQ(storage.OpenHandleCount(), 0);
        }
    }
}

// A program whose image could not be sent whole erases no device: it could
// not then update it.
TEST(DialogCommands, ClearWithAnImageThatCannotBeSentWholeErasesNothing) {
    const Bytes beginOnly{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0x80, 0, 0, 0, 0};
    SimulatedDevice storage = DeviceInStorageMode("E", 0x0240);
    RecordingUserInterface ui;
    ui.answer = true;
    OnClear(storage, ui, 1, Described(beginOnly), Hardware::Simulated);
    EXPECT_EQ(ui.status, "Clear the original firmware failure");
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(storage.ScsiLog().empty());
}

}  // namespace
}  // namespace fwup::test
