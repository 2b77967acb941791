// firmware-updater's front end, run as its user runs it, against the
// simulated device: what it prints, what it asks, what it does to the device
// and the exit status.
#include <gtest/gtest.h>

#include <string>

#include "app/linux/embedded_image.h"
#include "app/linux/front_end.h"
#include "linux/front_end_runner.h"
#include "platform/simulated_device.h"
#include "test_images.h"

namespace fwup::test {
namespace {

struct FakeFacts : PlatformFacts {
    UsbFacts usb;
    std::string driveAccessDenied;
    UsbFacts Usb() override { return usb; }
    std::string DriveAccessDeniedPath() override { return driveAccessDenied; }
    std::string DescribeVolume(PlatformHandle) override { return "/dev/sdc (EMULATED DRIVE)"; }
};

Outcome RunWith(const std::vector<const char*>& words, SimulatedDevice& device,
                FakeFacts& facts, const Terminal& terminal = {},
                FirmwareImage image = EmbeddedFirmwareImage()) {
    return RunFrontEndWith(words, device, device, facts, terminal, image);
}

SimulatedDevice InStorageMode(std::uint16_t version, std::uint32_t userId = 0xFFFFFFFF) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes['D'] = SimulatedVolume{VolumeKind::Removable, false, true};
    device.volumes['E'] = SimulatedVolume{VolumeKind::Removable, true, true};
    device.firmwareVersion = version;
    device.userId = userId;
    return device;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct ClearCase {
    const char* name;
    std::uint16_t version;
    std::uint32_t userId;
    bool assumeYes;
    std::optional<std::string> typed;
    ExitCode code;
    std::uint32_t erases;
    const char* shown;  // a line the user sees
};

class ClearStory : public testing::TestWithParam<ClearCase> {};

TEST_P(ClearStory, EndsAsThePolicyAndTheAnswerSay) {
    const ClearCase& c = GetParam();
    SimulatedDevice device = InStorageMode(c.version, c.userId);
    FakeFacts facts;
    std::vector<const char*> words{"clear"};
    if (c.assumeYes) words.push_back("--yes");
    const Outcome run = RunWith(words, device, facts, Terminal{c.typed});
    EXPECT_EQ(run.code, c.code) << run.out;
    EXPECT_EQ(device.EraseCount(), c.erases);
    EXPECT_TRUE(Contains(run.out, c.shown)) << run.out;
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClearStory,
    testing::Values(
        ClearCase{"YesGivenInAdvance", 0x0240, 0xFFFFFFFF, true, std::nullopt, ExitCode::Done, 1,
                  "Clear the original firmware successfully\nNow unplug the device"},
        ClearCase{"NoTerminalCountsAsNo", 0x0240, 0xFFFFFFFF, false, std::nullopt,
                  ExitCode::Declined, 0, "Run with --yes to answer Yes."},
        ClearCase{"TypedYes", 0x0240, 0xFFFFFFFF, false, " Yes\n", ExitCode::Done, 1,
                  "whether to update \xEF\xBC\x9F [y/N] "},
        ClearCase{"TypedNo", 0x0240, 0xFFFFFFFF, false, "n\n", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"EmptyAnswerIsNo", 0x0240, 0xFFFFFFFF, false, "\n", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"EndOfInputIsNo", 0x0240, 0xFFFFFFFF, false, "", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"OldVersionIsNotAsked", 0x0237, 0x12345678, false, std::nullopt, ExitCode::Done,
                  1, "Clear the original firmware successfully"},
        ClearCase{"ForeignUserIdIsRefused", 0x0238, 0x12345678, true, std::nullopt,
                  ExitCode::RefusedByPolicy, 0,
                  "UserID is not error, ID = 0x12345678, Can not update\n"}),
    [](const testing::TestParamInfo<ClearCase>& info) { return info.param.name; });

TEST(FrontEnd, ClearTellsADeviceFailureFromNoDeviceAndFromNoPermission) {
    SimulatedDevice failing = InStorageMode(0x0240);
    failing.InjectStorageFault(0xAA, StorageFault{ScsiFault::PassThroughFails, 0});
    FakeFacts facts;
    Outcome run = RunWith({"clear", "--yes"}, failing, facts);
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    EXPECT_TRUE(Contains(run.out, "Get UserID failure\nUnplug the device")) << run.out;

    SimulatedDevice absent(DeviceMode::Absent);
    run = RunWith({"clear", "--yes"}, absent, facts);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_TRUE(Contains(run.out, "Open the driver failed\nNo device in storage mode answered."));

    facts.driveAccessDenied = "/dev/sdc";
    run = RunWith({"clear", "--yes"}, absent, facts);
    EXPECT_EQ(run.code, ExitCode::NoPermission);
    EXPECT_TRUE(Contains(run.out, "No permission to send commands to /dev/sdc: run as root"));
}

TEST(FrontEnd, ChineseTextsArePrintedInUtf8) {
    SimulatedDevice device = InStorageMode(0x0240);
    FakeFacts facts;
    const Outcome run = RunWith({"clear", "--yes"}, device, facts, Terminal{std::nullopt, false, 0});
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(Contains(run.out, "\xE6\x8F\x90\xE7\xA4\xBA: "  // 提示
                                  "\xE5\xBD\x93\xE5\x89\x8D\xE7\x89\x88\xE6\x9C\xAC\xE4\xB8\xBA"
                                  "V2.40, \xE6\x98\xAF\xE5\x90\xA6\xE6\x9B\xB4\xE6\x96\xB0"
                                  "\xEF\xBC\x9F"))  // 当前版本为V2.40, 是否更新？
        << run.out;
    EXPECT_TRUE(Contains(run.out, "\xE6\xB8\x85\xE9\x99\xA4\xE5\x8E\x9F\xE5\x9B\xBA\xE4\xBB\xB6"
                                  "\xE6\x88\x90\xE5\x8A\x9F\n"))  // 清除原固件成功
        << run.out;
}

TEST(FrontEnd, UpdateWithoutATerminalPrintsTheStatusLinesOnly) {
    SimulatedDevice device(DeviceMode::VendorMode);
    FakeFacts facts;
    const Outcome run = RunWith({"update"}, device, facts);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "Update the firmware, Please wait...\nUpdate the firmware successfully\n");
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

TEST(FrontEnd, UpdateOnATerminalDrawsTheBarUpToItsFinalState) {
    SimulatedDevice device(DeviceMode::VendorMode);
    FakeFacts facts;
    const Outcome run = RunWith({"update"}, device, facts, Terminal{std::nullopt, true});
    EXPECT_EQ(run.code, ExitCode::Done);
    const std::size_t wait = run.out.find("Please wait...\n");
    const std::size_t last = run.out.rfind('\r');
    const std::size_t outcome = run.out.find("Update the firmware successfully\n");
    ASSERT_NE(wait, std::string::npos);
    ASSERT_NE(last, std::string::npos);
    ASSERT_NE(outcome, std::string::npos);
    EXPECT_LT(wait, last);
    EXPECT_LT(last, outcome);
    const std::string finalBar = run.out.substr(last + 1, outcome - last - 1);
    EXPECT_TRUE(Contains(finalBar, "] 100% 45779/45779 bytes, 16/16 commands\x1b[K\n")) << finalBar;
}

TEST(FrontEnd, UpdateSaysWhatToDoWhenItCannotReachOrFinish) {
    FakeFacts facts;
    SimulatedDevice absent(DeviceMode::Absent);
    Outcome run = RunWith({"update"}, absent, facts);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_EQ(run.out, "Open the driver failed\nNo device in vendor mode was found. Run "
                       "\"firmware-updater clear\" first, then unplug the device and plug it "
                       "in again.\n");

    facts.usb.accessDeniedNode = "/dev/bus/usb/001/007";
    run = RunWith({"update"}, absent, facts);
    EXPECT_EQ(run.code, ExitCode::NoPermission);
    EXPECT_TRUE(Contains(run.out, "No permission to open /dev/bus/usb/001/007: run as root"));

    SimulatedDevice silent(DeviceMode::VendorMode);
    silent.StopAnsweringFrom(10);
    facts = FakeFacts{};
    facts.usb.deviceStoppedAnswering = true;
    run = RunWith({"update"}, silent, facts);
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    EXPECT_TRUE(Contains(run.out, "Update the firmware failure\nThe device stopped answering.\n"
                                  "Unplug the device, plug it in again"))
        << run.out;
    EXPECT_EQ(silent.OpenHandleCount(), 0);
}

TEST(FrontEnd, InfoShowsWhereTheDeviceIsItsVersionAndUserId) {
    FakeFacts facts;
    SimulatedDevice device = InStorageMode(0x0305, 0x0000ABCD);
    Outcome run = RunWith({"info"}, device, facts);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "Device found at /dev/sdc (EMULATED DRIVE)\n"
                       "Firmware version: 3.05 (0x0305)\nUser id: 0x0000ABCD\n");
    EXPECT_EQ(device.EraseCount(), 0u);
    EXPECT_EQ(device.OpenHandleCount(), 0);

    SimulatedDevice old = InStorageMode(0x0200);
    run = RunWith({"info"}, old, facts);
    EXPECT_TRUE(Contains(run.out, "User id: not checked for this version\n"));

    SimulatedDevice inVendorMode(DeviceMode::VendorMode);
    run = RunWith({"info"}, inVendorMode, facts);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(Contains(run.out, "A device in vendor mode is attached"));
    EXPECT_EQ(inVendorMode.Traffic().size(), 0u);  // only looked at, never opened
}

TEST(FrontEnd, UsageErrorsGoToStandardErrorWithStatus2) {
    SimulatedDevice device(DeviceMode::VendorMode);
    FakeFacts facts;
    struct Case {
        std::vector<const char*> words;
        ExitCode code;
        const char* err;
    };
    const std::vector<Case> cases{
        {{}, ExitCode::Usage, "No command given."},
        {{"erase"}, ExitCode::Usage, "Unknown command or option: erase."},
        {{"clear", "update"}, ExitCode::Usage, "Unknown command or option: update."},
        {{"bogus", "--help"}, ExitCode::Done, ""},
        {{"--version"}, ExitCode::Done, ""},
    };
    for (const Case& c : cases) {
        const Outcome run = RunWith(c.words, device, facts);
        EXPECT_EQ(run.code, c.code) << c.err;
        EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    }
    EXPECT_TRUE(device.Traffic().empty());
}

TEST(EmbeddedImage, HoldsExactlyTheFirmwareImageFile) {
    const Bytes expected = EmbeddedImage();
    const FirmwareImage embedded = EmbeddedFirmwareImage();
    ASSERT_EQ(embedded.imageSize, expected.size());
    EXPECT_EQ(Bytes(embedded.imageData, embedded.imageData + embedded.imageSize), expected);
}

}  // namespace
}  // namespace fwup::test
