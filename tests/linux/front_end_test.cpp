// firmware-updater's front end, run as its user runs it, against the
// simulated device: what it prints, what it asks, what it does to the device
// and the exit status.
#include <gtest/gtest.h>

#include <string>

#include "app/terminal/embedded_image.h"
#include "app/terminal/front_end.h"
#include "linux/front_end_runner.h"
#include "platform/simulation/simulated_device.h"
#include "image/stand_in_image.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace fwup::test {
namespace {

Ran RunWith(const std::vector<const char*>& words, SimulatedDevice& device,
            const Terminal& terminal = {}, FirmwareImage image = EmbeddedFirmwareImage(),
            bool realHardware = false) {
    return RunFrontEndWith(words, device, device, terminal, image, realHardware);
}

SimulatedDevice InStorageMode(std::uint16_t version, std::uint32_t userId = 0xFFFFFFFF) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes["D"] = SimulatedVolume{VolumeKind::Removable, false, true};
    device.volumes["E"] = SimulatedVolume{VolumeKind::Removable, true, true};
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
    std::vector<const char*> words{"clear"};
    if (c.assumeYes) words.push_back("--yes");
    const Ran run = RunWith(words, device, Terminal{c.typed});
    EXPECT_EQ(run.code, c.code) << run.out;
    EXPECT_EQ(device.EraseCount(), c.erases);
    EXPECT_TRUE(Contains(run.out + run.err, c.shown)) << run.out << run.err;
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClearStory,
    testing::Values(
        ClearCase{"YesGivenInAdvance", 0x0240, 0xFFFFFFFF, true, std::nullopt, ExitCode::Done, 1,
                  "Firmware erased.\nNow unplug the device"},
        ClearCase{"NoTerminalCountsAsNo", 0x0240, 0xFFFFFFFF, false, std::nullopt,
                  ExitCode::Declined, 0, "Run with --yes to answer Yes."},
        ClearCase{"TypedYes", 0x0240, 0xFFFFFFFF, false, " Yes\n", ExitCode::Done, 1,
                  "The device has firmware version 2.40. Erase it to update the device? [y/N] "},
        ClearCase{"TypedNo", 0x0240, 0xFFFFFFFF, false, "n\n", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"EmptyAnswerIsNo", 0x0240, 0xFFFFFFFF, false, "\n", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"EndOfInputIsNo", 0x0240, 0xFFFFFFFF, false, "", ExitCode::Declined, 0,
                  "Nothing was erased."},
        ClearCase{"OldVersionIsNotAsked", 0x0237, 0x12345678, false, std::nullopt, ExitCode::Done,
                  1, "Firmware erased."},
        ClearCase{"ForeignUserIdIsRefused", 0x0238, 0x12345678, true, std::nullopt,
                  ExitCode::RefusedByPolicy, 0,
                  "The device's user id 0x12345678 does not allow an update.\n"}),
    [](const testing::TestParamInfo<ClearCase>& info) { return info.param.name; });

TEST(FrontEnd, ClearTellsADeviceFailureFromNoDeviceAndFromNoPermission) {
    SimulatedDevice failing = InStorageMode(0x0240);
    failing.InjectStorageFault(0xAA, StorageFault{ScsiFault::PassThroughFails, 0});
    Ran run = RunWith({"clear", "--yes"}, failing);
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    EXPECT_TRUE(Contains(run.err, "Could not read the device's user id.\nUnplug the device")) << run.err;

    SimulatedDevice absent(DeviceMode::Absent);
    run = RunWith({"clear", "--yes"}, absent);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_TRUE(Contains(run.err, "No device found.\nNo device in storage mode answered."));

    SimulatedDevice refusing = InStorageMode(0x0240);
    refusing.InjectStorageFault(0x10, StorageFault{ScsiFault::PermissionDenied, 0});
    run = RunWith({"clear", "--yes"}, refusing);
    EXPECT_EQ(run.code, ExitCode::NoPermission);
    EXPECT_TRUE(Contains(run.err, "No permission to send commands to E: run as root")) << run.err;
}

TEST(FrontEnd, ChineseTextsArePrintedInUtf8) {
    SimulatedDevice device = InStorageMode(0x0240);
    const Ran run = RunWith({"clear", "--yes"}, device,
                            Terminal{std::nullopt, false, Language::Chinese});
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(Contains(run.err, "设备的固件版本为 2.40。是否清除固件以便更新? 是 (--yes)\n")) << run.err;
    EXPECT_TRUE(Contains(run.out, "固件已清除。\n")) << run.out;
}

TEST(FrontEnd, UpdateWithoutATerminalPrintsPlainLinesAtEachQuarter) {
    SimulatedDevice device(DeviceMode::VendorMode);
    const Ran run = RunWith({"update"}, device);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.err, "Updating the firmware, please wait...\nsim-1: 25%\nsim-1: 50%\nsim-1: 75%\n"
                       "sim-1: 100%\n");
    EXPECT_EQ(run.out, "Firmware updated.\n");
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

TEST(FrontEnd, UpdateOnATerminalDrawsTheBarUpToItsFinalState) {
    SimulatedDevice device(DeviceMode::VendorMode);
    const Ran run = RunWith({"update"}, device, Terminal{std::nullopt, true});
    EXPECT_EQ(run.code, ExitCode::Done);
    const std::size_t wait = run.err.find("please wait...\n");
    const std::size_t last = run.err.rfind('\r');
    ASSERT_NE(wait, std::string::npos);
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(wait, last);
    EXPECT_TRUE(Contains(run.err.substr(last + 1), "] 100% 45592/45592 bytes\x1b[K\n")) << run.err;
    EXPECT_EQ(run.out, "Firmware updated.\n");
}

TEST(FrontEnd, UpdateSaysWhatToDoWhenItCannotReachOrFinish) {
    SimulatedDevice absent(DeviceMode::Absent);
    Ran run = RunWith({"update"}, absent);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_EQ(run.err, "No device found.\nNo device is in vendor mode. Run "
                       "\"firmware-updater clear\" first, then unplug the device and plug it "
                       "in again.\n");

    SimulatedDevice refusing(DeviceMode::VendorMode);
    refusing.openRefusal = LinkStatus::NoPermission;
    run = RunWith({"update"}, refusing);
    EXPECT_EQ(run.code, ExitCode::NoPermission);
    EXPECT_TRUE(Contains(run.err, "No permission to open sim-1: run as root")) << run.err;

    SimulatedDevice held(DeviceMode::VendorMode);
    held.openRefusal = LinkStatus::Busy;
    run = RunWith({"update"}, held);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_TRUE(Contains(run.err, "Another program or driver holds the device (sim-1)")) << run.err;

    struct Case {
        const char* what;
        TransferFault fault;
        const char* said;
    };
    const Case failures[] = {
        {"silent", TransferFault::TimeLimit, "The device stopped answering.\n"},
        {"unplugged", TransferFault::Unplugged, "The device went away during the update.\n"},
        {"rejected", TransferFault::RejectStatus, ""},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device(DeviceMode::VendorMode);
        device.InjectFault(10, c.fault);
        run = RunWith({"update"}, device);
        EXPECT_EQ(run.code, ExitCode::DeviceFailed);
        EXPECT_TRUE(Contains(run.err, std::string("The update failed.\n") + c.said +
                                          "Unplug the device, plug it in again"))
            << run.err;
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
}

TEST(FrontEnd, InfoShowsWhereTheDeviceIsItsVersionAndUserId) {
    SimulatedDevice device = InStorageMode(0x0305, 0x0000ABCD);
    Ran run = RunWith({"info"}, device);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "Device found at sim-1 (E, simulated removable volume)\n"
                       "Firmware version: 3.05 (0x0305)\nUser id: 0x0000ABCD\n"
                       "Firmware image: 45637 bytes, end address 0x8000D218, checksum 0x5DC6 "
                       "(stand-in test image: changes no real device)\n");
    EXPECT_EQ(device.EraseCount(), 0u);
    EXPECT_EQ(device.OpenHandleCount(), 0);

    SimulatedDevice old = InStorageMode(0x0200);
    run = RunWith({"info"}, old);
    EXPECT_TRUE(Contains(run.out, "User id: not checked for this version\n"));

    SimulatedDevice inVendorMode(DeviceMode::VendorMode);
    run = RunWith({"info"}, inVendorMode);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(Contains(run.out, "A device in vendor mode is attached (sim-1)"));
    EXPECT_EQ(inVendorMode.Traffic().size(), 0u);  // only looked at, never opened
}

TEST(FrontEnd, UsageErrorsGoToStandardErrorWithStatus2) {
    SimulatedDevice device(DeviceMode::VendorMode);
    struct Case {
        std::vector<const char*> words;
        ExitCode code;
        const char* err;  // what standard error says; nothing at all where empty
        const char* out;  // what standard output says
    };
    const std::vector<Case> cases{
        {{}, ExitCode::Usage, "No command given.", ""},
        {{"erase"}, ExitCode::Usage, "Unknown command or option: erase.", ""},
        {{"clear", "update"}, ExitCode::Usage, "One command at a time: update.", ""},
        {{"clear", "--all"}, ExitCode::Usage, "add --yes.", ""},
        // Options on either side of the command.
        {{"--json", "update", "--device"}, ExitCode::Usage, "--device needs a value.", ""},
        {{"--device", "sim-9", "update"}, ExitCode::NoDevice, "No device sim-9 is attached", ""},
        {{"-y", "clear"}, ExitCode::NoDevice, "No device found.", ""},
        {{"list", "--yes"}, ExitCode::Done, "Note: --yes has no effect on list.\n", ""},
        {{"bogus", "--help"}, ExitCode::Done, "", "Exit status: 0 done"},
        {{"--version"}, ExitCode::Done, "", "firmware-updater "},
    };
    for (const Case& c : cases) {
        const Ran run = RunWith(c.words, device);
        EXPECT_EQ(run.code, c.code) << c.err;
        if (*c.err == '\0') EXPECT_EQ(run.err, "");
        else EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
        EXPECT_TRUE(Contains(run.out, c.out)) << run.out;
    }
    EXPECT_TRUE(device.Traffic().empty());
}

// A program that carries the stand-in image finds a real device and changes
// nothing; over the simulation it goes on.
TEST(FrontEnd, TheStandInImageChangesNoRealDevice) {
    const FirmwareImage standIn = EmbeddedFirmwareImage();
    ASSERT_TRUE(IsStandInImage(standIn)) << "the tests build with the stand-in";
    SimulatedDevice storage = InStorageMode(0x0240);
    Ran run = RunWith({"clear", "--yes"}, storage, {}, standIn, true);
    EXPECT_EQ(run.code, ExitCode::StandInImage);
    EXPECT_TRUE(Contains(run.err, "carries the stand-in test image")) << run.err;
    ASSERT_FALSE(storage.CdbsReceivedAt("E").empty());  // found, and asked its version only
    for (const Cdb& cdb : storage.CdbsReceivedAt("E")) EXPECT_EQ(cdb, VendorCdbBytes(0x10));
    EXPECT_EQ(storage.EraseCount(), 0u);

    SimulatedDevice vendor(DeviceMode::VendorMode);
    run = RunWith({"update"}, vendor, {}, standIn, true);
    EXPECT_EQ(run.code, ExitCode::StandInImage);
    EXPECT_TRUE(vendor.Traffic().empty());
    EXPECT_EQ(vendor.OpenHandleCount(), 0);

    SimulatedDevice absent(DeviceMode::Absent);
    run = RunWith({"update"}, absent, {}, standIn, true);  // no device: as ever
    EXPECT_EQ(run.code, ExitCode::NoDevice);

    run = RunWith({"--version"}, absent, {}, standIn, true);
    EXPECT_TRUE(Contains(run.out, "45637 bytes, end address 0x8000D218, checksum 0x5DC6 "
                                  "(stand-in test image"))
        << run.out;
}

// A built-in image that the download would cut short (8 to 16 bytes: the
// begin command alone; a segment that ends with the file) reaches no device.
TEST(FrontEnd, ABuiltInImageWithAProblemIsRefusedBeforeAnyDeviceIsTouched) {
    const test::Bytes images[] = {
        {0x78, 0x56, 0x34, 0x12, 0x58, 0xA7, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00},
        test::MakeImage({{0x80002000, {1, 2, 3}}}, {}),
    };
    for (const test::Bytes& bytes : images) {
        for (const char* command : {"clear", "update", "run"}) {
            SimulatedDevice storage = InStorageMode(0x0240);
            const Ran run = RunWith({command, "--yes"}, storage, {}, test::View(bytes));
            EXPECT_EQ(run.code, ExitCode::Usage) << command;
            EXPECT_TRUE(Contains(run.err, "The built-in firmware image is refused")) << run.err;
            EXPECT_TRUE(storage.ScsiLog().empty()) << command;
            EXPECT_TRUE(storage.Traffic().empty()) << command;
        }
    }
}

TEST(EmbeddedImage, HoldsExactlyTheFirmwareImageFile) {
    const Bytes expected = EmbeddedImage();
    const FirmwareImage embedded = EmbeddedFirmwareImage();
    ASSERT_EQ(embedded.imageSize, expected.size());
    EXPECT_EQ(Bytes(embedded.imageData, embedded.imageData + embedded.imageSize), expected);
}

}  // namespace
}  // namespace fwup::test
