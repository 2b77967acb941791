// The real program, over SetupAPI and overlapped I/O on the driver's pipes,
// against an emulated device in vendor mode: the device is made present in
// the prefix as its driver makes it (vendor_device_presence.h), and its pipes
// are answered by the simulated device in a Linux process, vendor-pipe-bridge,
// which runs this test. The program carries a test image of its own.
//
// usage: firmware_updater_device_test --serial=S [--reference=R] [--path-length=N]
//            --report=FILE [--refuse-reply=N] --gtest_filter=RealDevice.CASE
// The serial, reference and refused reply are the bridge's; FILE is its report.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog/dialog_logic.h"
#include "device_report.h"
#include "program_driver.h"
#include "vendor_device_presence.h"

namespace fwup::test {
namespace {

std::string serial;
std::string reference;
std::size_t pathLength = 0;
std::string reportPath;
unsigned refusedReply = 0;
std::string programPath = PROGRAM_PATH;  // the program under test

const std::wstring kWait = L"Update the firmware, Please wait...";
const std::wstring kUpdated = L"Update the firmware successfully";
const std::wstring kFailed = L"Update the firmware failure";
const std::wstring kOpenFailed = L"Open the driver failed";
const std::wstring kStandIn = L"Test image only: rebuild with the device's own image";

// What the bridge counts: transfers the device saw, bytes received but not
// passed on, the device's protocol errors, the commands it accepted.
struct Counts {
    unsigned transfers = 0, unpassed = 0, errors = 0, accepted = 0;
};

Counts ReadCounts() {
    Counts counts;
    if (std::FILE* file = std::fopen((reportPath + ".counts").c_str(), "r")) {
        if (std::fscanf(file, "transfers %u unpassed %u errors %u accepted %u", &counts.transfers,
                        &counts.unpassed, &counts.errors, &counts.accepted) != 4)
            counts = Counts{};
        std::fclose(file);
    }
    return counts;
}

// The device is present for each test and gone after it.
class RealDevice : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UnplugVendorDevices());
        const std::string path = PlugVendorDevice(serial, reference);
        ASSERT_FALSE(path.empty());
        if (pathLength != 0) {
            ASSERT_EQ(path.size(), pathLength) << path;
        }
        program_ = std::make_unique<Program>(programPath.c_str());
        ASSERT_NE(program_->Dialog(), nullptr);
    }

    void TearDown() override {
        program_.reset();
        EXPECT_TRUE(UnplugVendorDevices());
    }

    void PressUpdate() const { PostMessageW(program_->Control(kUpdateButtonId), BM_CLICK, 0, 0); }
    // Update pressed, and every status text from then on up to the outcome.
    std::vector<std::wstring> PressUpdateAndWatch() const {
        HWND status = program_->Control(kStatusLineId);
        std::wstring before = StoredTextOf(status);
        PressUpdate();
        return WatchText(status, std::move(before), {kUpdated, kFailed, kOpenFailed, kStandIn});
    }
    // Closes the dialog once everything queued before has run.
    void Close() const {
        PostMessageW(program_->Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(program_->ExitCode(), 2u);
    }

    std::unique_ptr<Program> program_;
};

// Two clicks queued at once, while the first download runs: one command at a
// time, each a whole download, one after the other on the device.
TEST_F(RealDevice, UpdateDownloadsTheImageAndQueuedClicksWaitTheirTurn) {
    // The wait text is drawn while the download blocks the dialog.
    EXPECT_EQ(PressUpdateAndWatch(), (std::vector<std::wstring>{kWait, kUpdated}));
    ExpectDeviceHoldsTheImage(TEST_IMAGE_PATH, reportPath.c_str());
    const Counts one = ReadCounts();
    EXPECT_GE(one.accepted, 3u);  // begin, data, end

    PressUpdate();
    PressUpdate();
    Close();
    const Counts three = ReadCounts();
    EXPECT_EQ(three.accepted, 3 * one.accepted);
    EXPECT_EQ(three.transfers, 3 * one.transfers);
    EXPECT_EQ(three.errors, 0u);
    EXPECT_EQ(three.unpassed, 0u);
    ExpectDeviceHoldsTheImage(TEST_IMAGE_PATH, reportPath.c_str());
}

TEST_F(RealDevice, RefusedDataCommandShowsTheFailureAndNothingIsSentAfterIt) {
    const std::vector<std::wstring> seen = PressUpdateAndWatch();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), kFailed);
    Close();
    Sleep(200);  // whatever the program wrote has reached the device by now
    const Counts counts = ReadCounts();
    EXPECT_EQ(counts.transfers, refusedReply + 1);  // the refusing reply was the last
    EXPECT_EQ(counts.unpassed, 0u);
}

// The shipped program, built with the stand-in image: it finds the device
// and sends it nothing.
TEST_F(RealDevice, TheStandInImageChangesNothing) {
    EXPECT_EQ(PressUpdateAndWatch(), std::vector<std::wstring>{kStandIn});
    SaveScreenshot(program_->Dialog(), std::string(ARTIFACT_DIR) + "/device-stand-in.bmp");
    Close();
    Sleep(200);  // whatever the program wrote has reached the device by now
    EXPECT_EQ(ReadCounts().transfers, 0u);
}

TEST_F(RealDevice, SilentDeviceShowsTheFailureAfterTheTimeLimit) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PressUpdateAndWatch(), (std::vector<std::wstring>{kWait, kFailed}));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 10.0);  // the time limit of the transfer left unanswered
    EXPECT_LT(seconds, 15.0);
    Close();
}

}  // namespace
}  // namespace fwup::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const fwup::test::Options options(argc, argv);
    fwup::test::serial = options.Text("serial");
    fwup::test::reference = options.Text("reference");
    fwup::test::pathLength = options.Number("path-length");
    fwup::test::reportPath = options.Text("report");
    fwup::test::refusedReply = static_cast<unsigned>(options.Number("refuse-reply"));
    if (!options.Text("program").empty()) fwup::test::programPath = options.Text("program");
    return RUN_ALL_TESTS();
}
