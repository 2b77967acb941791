// The two pass-through backends report the same answer the same way, and the
// portable vendor command judges it once: a command the device answered
// with a status other than GOOD failed on either system.
#include <gtest/gtest.h>

#include <cstring>

#include "core/device_model.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "platform/windows/pass_through.h"
#include "storage/vendor_scsi_commands.h"

namespace fwup::test {
namespace {

constexpr std::uint8_t kGood = 0x00, kCheckCondition = 0x02;
constexpr std::uint16_t kDidAbort = 0x05, kDriverSense = 0x08, kDriverTimeout = 0x06;

// A drive that answers every command with one result, its reply signed as
// the device signs a reply it carried out, however it was judged.
class OneAnswer : public ScsiDrives {
public:
    explicit OneAnswer(ScsiResult answer) : answer_(answer) {}
    std::vector<VolumeCandidate> FindCandidateVolumes() override { return {}; }
    PlatformHandle OpenVolume(const VolumeCandidate&, DriveStatus*) override { return 1; }
    ScsiResult Execute(PlatformHandle, const ScsiCommand& command) override {
        if (command.dataLength >= 2) {
            command.data[0] = kReplySignature0;
            command.data[1] = kReplySignature1;
        }
        return answer_;
    }
    void CloseVolume(PlatformHandle) override {}

private:
    ScsiResult answer_;
};

struct Answer {
    const char* name;
    SgIoAnswer sgIo;           // asked: 4 bytes, up to 18 bytes of sense
    bool windowsCarriedOut;     // DeviceIoControl's result
    std::uint8_t windowsStatus;
    std::uint32_t windowsMoved;
    std::uint8_t windowsSense;
    // What both report, and what the vendor command makes of it.
    bool carriedOut;
    std::uint8_t scsiStatus;
    std::uint32_t bytesMoved;
    std::uint8_t senseLength;
    VendorCommandResult verdict;
    DriveStatus detail;
};

const Answer kAnswers[] = {
    {"Good", {kGood, 0, 0, 0, 4, 0}, true, kGood, 4, 0,
     true, kGood, 4, 0, VendorCommandResult::Success, DriveStatus::Ok},
    {"GoodButShort", {kGood, 0, 0, 2, 4, 0}, true, kGood, 2, 0,
     true, kGood, 2, 0, VendorCommandResult::Success, DriveStatus::Ok},
    // An erase the device refused: never done, whatever its reply buffer holds.
    {"RefusedWithSense", {kCheckCondition, 0, kDriverSense, 4, 4, 18}, true, kCheckCondition, 0, 18,
     true, kCheckCondition, 0, 18, VendorCommandResult::Failed, DriveStatus::Failed},
    {"RefusedWithAWholeReply", {kCheckCondition, 0, kDriverSense, 0, 4, 18}, true,
     kCheckCondition, 4, 18, true, kCheckCondition, 4, 18, VendorCommandResult::Failed,
     DriveStatus::Failed},
};

// The platform or the path to the device failed: no answer at all.
struct Unanswered {
    const char* name;
    SgIoAnswer sgIo;
};

const Unanswered kUnanswered[] = {
    {"BridgeAborted", {kCheckCondition, kDidAbort, kDriverSense, 0, 4, 18}},
    {"DriverTimedOut", {kGood, 0, kDriverTimeout, 4, 4, 0}},
    {"DriverTimedOutWithSense", {kGood, 0, kDriverTimeout | kDriverSense, 4, 4, 0}},
};

ScsiResult FromWindows(const Answer& a, const std::uint8_t* sense) {
    const std::uint8_t cdb[kVendorCdbLength] = {0x87, kEraseCommand};
    std::uint8_t reply[4] = {};
    ScsiPassThroughDirect record =
        BuildPassThroughRecord({cdb, kVendorCdbLength, DataDirection::In, reply, 4, 10});
    record.ScsiStatus = a.windowsStatus;
    record.DataTransferLength = a.windowsMoved;
    record.SenseInfoLength = a.windowsSense;
    return PassThroughResult(a.windowsCarriedOut, record, 4, sense);
}

TEST(ScsiResults, BothBackendsReportTheSameFactsAndTheVendorCommandJudgesThemOnce) {
    std::uint8_t sense[kSenseBytes] = {0x70, 0, 0x05};
    for (const Answer& a : kAnswers) {
        const ScsiResult results[] = {SgIoResult(a.sgIo, sense), FromWindows(a, sense)};
        for (const ScsiResult& result : results) {
            SCOPED_TRACE(std::string(a.name) + (&result == &results[0] ? " (Linux)" : " (Windows)"));
            EXPECT_EQ(result.carriedOut, a.carriedOut);
            EXPECT_EQ(result.status, DriveStatus::Ok);
            EXPECT_EQ(result.scsiStatus, a.scsiStatus);
            EXPECT_EQ(result.bytesMoved, a.bytesMoved);
            EXPECT_EQ(result.sense.length, a.senseLength);

            OneAnswer drive(result);
            VendorCommandDetail detail;
            EXPECT_EQ(EraseFirmware(drive, 1, 10, &detail), a.verdict);
            EXPECT_EQ(detail.status, a.detail);
            EXPECT_EQ(detail.scsiStatus, a.scsiStatus);
            EXPECT_EQ(detail.sense.length, a.senseLength);
        }
    }
    for (const Unanswered& u : kUnanswered) {
        SCOPED_TRACE(u.name);
        const ScsiResult result = SgIoResult(u.sgIo, sense);
        EXPECT_FALSE(result.carriedOut);
        EXPECT_EQ(result.status, DriveStatus::Failed);
        OneAnswer drive(result);
        VendorCommandDetail detail;
        EXPECT_EQ(EraseFirmware(drive, 1, 10, &detail), VendorCommandResult::Failed);
        EXPECT_EQ(detail.status, DriveStatus::Failed);
    }
    const Answer failedIoctl{"", {}, false, kGood, 0, 0, false, 0, 0, 0, {}, {}};
    EXPECT_FALSE(FromWindows(failedIoctl, sense).carriedOut);
    EXPECT_EQ(FromWindows(failedIoctl, sense).status, DriveStatus::Failed);
}

}  // namespace
}  // namespace fwup::test
