// The SG_IO drive platform against SCSI drives that umockdev emulates: the
// real sysfs reading, open and ioctl, only the drives are answered from the
// test, by the simulated device's storage firmware.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <memory>
#include <thread>

#include "linux/emulated_scsi_drive.h"
#include "linux/umockdev_testbed.h"
#include "app/dialog/dialog_commands.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "recording_user_interface.h"
#include "storage/vendor_scsi_commands.h"
#include "storage_test_support.h"
#include "test_images.h"
#include "test_images.h"

namespace fwup::test {
namespace {

constexpr int kDisk = 0;
constexpr int kCdRom = 5;

// sda: a fixed disk; sdb: an ordinary removable disk; sdc: the device;
// sr0: an ordinary CD-ROM drive after it; loop0: not a SCSI device.
class SgIoDrives : public testing::Test {
protected:
    SgIoDrives() : firmware_(DeviceMode::StorageMode) {
        firmware_.volumes["G"] = SimulatedVolume{VolumeKind::Fixed, false, true};
        firmware_.volumes["D"] = SimulatedVolume{VolumeKind::Removable, false, true};
        firmware_.volumes["E"] = SimulatedVolume{VolumeKind::Removable, true, true};
        firmware_.volumes["F"] = SimulatedVolume{VolumeKind::CdRom, false, true};
        firmware_.firmwareVersion = 0x0240;
        fixed_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sda", kDisk, false, firmware_, "G");
        ordinary_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdb", kDisk, true, firmware_, "D");
        device_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdc", kDisk, true, firmware_, "E");
        cdrom_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sr0", kCdRom, true, firmware_, "F");
        gchar* loop = umockdev_testbed_add_device(Testbed(), "block", "loop0", nullptr, "removable",
                                                  "0\n", nullptr, "DEVNAME", "/dev/loop0", nullptr);
        loopPath_ = loop;
        g_free(loop);
    }
    ~SgIoDrives() override { RemoveBlockDevice(loopPath_, "loop0"); }

    SimulatedDevice firmware_;
    std::unique_ptr<EmulatedScsiDrive> fixed_, ordinary_, device_, cdrom_;
    std::string loopPath_;
    SgIoScsiDrives platform_;
};

TEST_F(SgIoDrives, FindsTheDeviceBehindAnOrdinaryRemovableDisk) {
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(platform_, &version, kClearTimeLimitSeconds);
    const VendorDrive drive = found.handle;
    ASSERT_NE(drive, kInvalidHandleValue);
    EXPECT_EQ(version, 0x0240);
    EXPECT_EQ(found.volume.id, "/dev/sdc");
    EXPECT_EQ(found.volume.description, "EMULATED DRIVE sdc");

    // The candidates in natural order: no fixed disk, no loop device.
    std::vector<std::string> ids;
    for (const VolumeCandidate& candidate : platform_.FindCandidateVolumes())
        ids.push_back(candidate.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"/dev/sdb", "/dev/sdc", "/dev/sr0"}));

    // The ordinary disk was probed once and closed; the fixed disk and the
    // drive after the device were never opened.
    ASSERT_EQ(ordinary_->Requests().size(), 1u);
    EXPECT_EQ(ordinary_->Requests()[0].cdb, VendorCdbBytes(0x10));
    EXPECT_EQ(platform_.OpenVolumeCount(), 1);
    EXPECT_EQ(fixed_->Opens(), 0);
    EXPECT_EQ(cdrom_->Opens(), 0);
    EXPECT_TRUE(fixed_->Requests().empty());
    EXPECT_TRUE(cdrom_->Requests().empty());

    const std::vector<SgRequest> requests = device_->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].cdb, VendorCdbBytes(0x10));
    EXPECT_EQ(requests[0].direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(requests[0].length, 4u);
    EXPECT_EQ(requests[0].timeoutMs, 1000u * 1000u);
    platform_.CloseVolume(drive);
    EXPECT_EQ(platform_.OpenVolumeCount(), 0);
}

TEST_F(SgIoDrives, VersionUserIdAndEraseReachTheDevice) {
    firmware_.firmwareVersion = 0x0238;
    firmware_.userId = 0x12345678;
    std::uint16_t version = 0;
    const VendorDrive drive = FindVendorDrive(platform_, &version, kClearTimeLimitSeconds).handle;
    ASSERT_NE(drive, kInvalidHandleValue);
    std::uint32_t userId = 0;
    EXPECT_EQ(QueryUserID(platform_, drive, &userId, kClearTimeLimitSeconds),
              VendorCommandResult::Success);
    EXPECT_EQ(userId, 0x12345678u);
    EXPECT_EQ(EraseFirmware(platform_, drive, kClearTimeLimitSeconds), VendorCommandResult::Success);
    EXPECT_EQ(firmware_.EraseCount(), 1u);
    // The erased device has left its storage mode: nothing answers any more.
    EXPECT_EQ(QueryFirmwareVersion(platform_, drive, &version, kClearTimeLimitSeconds),
              VendorCommandResult::Failed);
    platform_.CloseVolume(drive);

    const std::vector<SgRequest> requests = device_->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].cdb, VendorCdbBytes(0xAA));
    EXPECT_EQ(requests[1].length, 8u);
    EXPECT_EQ(requests[2].cdb, VendorCdbBytes(0xFF));
    EXPECT_EQ(requests[2].length, 4u);
}

TEST_F(SgIoDrives, TheClearCommandRunsItsWholePolicyOverSgIo) {
    RecordingUserInterface userInterface;
    OnClear(platform_, userInterface, 1, TestImage(), Hardware::Simulated);
    ASSERT_EQ(userInterface.questions.size(), 1u);  // version 2.40 asks
    EXPECT_EQ(userInterface.status, "Clear the original firmware successfully");
    EXPECT_EQ(firmware_.EraseCount(), 1u);
    EXPECT_EQ(platform_.OpenVolumeCount(), 0);
}

// clear --all: one thread a volume, each opening, asking and closing its own
// again and again on the one platform. The system hands a closed descriptor's
// number to the next open at once, whichever thread asks: no thread may lose
// its volume to another's close, and every request reaches its drive.
TEST_F(SgIoDrives, ThreadsOpenAskAndCloseTheirOwnVolumesSideBySide) {
    struct Worker {
        const char* volume;
        EmulatedScsiDrive* drive;
        std::uint8_t scsiStatus;  // the device answers; the others refuse the command
        int opened = 0;
        int matched = 0;  // answers with the drive's own status
    };
    std::vector<Worker> workers{{"/dev/sdb", ordinary_.get(), 2},
                                {"/dev/sdc", device_.get(), 0},
                                {"/dev/sr0", cdrom_.get(), 2}};
    constexpr int kRounds = 150;
    std::vector<std::thread> threads;
    for (Worker& worker : workers)
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                const PlatformHandle volume = platform_.OpenVolume({worker.volume, {}, {}}, nullptr);
                if (volume == kInvalidHandleValue) continue;
                ++worker.opened;
                std::uint8_t reply[4] = {};
                const VendorCdb cdb = BuildVendorCdb(0x10);
                const ScsiResult result =
                    platform_.Execute(volume, {cdb.data(), 10, DataDirection::In, reply, 4, 1000});
                if (result.scsiStatus == worker.scsiStatus) ++worker.matched;
                platform_.CloseVolume(volume);
            }
        });
    for (std::thread& thread : threads) thread.join();
    for (const Worker& worker : workers) {
        EXPECT_EQ(worker.opened, kRounds) << worker.volume;
        EXPECT_EQ(worker.matched, kRounds) << worker.volume;
        EXPECT_EQ(worker.drive->Requests().size(), static_cast<std::size_t>(kRounds)) << worker.volume;
    }
    EXPECT_EQ(platform_.OpenVolumeCount(), 0);
}

// What the platform makes of the ways a request can go wrong on the device.
struct RequestFault {
    const char* name;
    const char* volume;
    SgFault sgFault;
    StorageFault firmwareFault;
    bool carriedOut;
    std::uint32_t bytesMoved;
    std::uint8_t scsiStatus;
    DriveStatus status;
};

class SgIoRequestFault : public SgIoDrives, public testing::WithParamInterface<RequestFault> {};

TEST_P(SgIoRequestFault, IsJudgedByItsStatusesAndCount) {
    const RequestFault& fault = GetParam();
    DriveStatus why = DriveStatus::Failed;
    const PlatformHandle volume = platform_.OpenVolume({fault.volume, {}, {}}, &why);
    ASSERT_NE(volume, kInvalidHandleValue);
    EXPECT_EQ(why, DriveStatus::Ok);
    device_->FailWith(fault.sgFault);
    firmware_.InjectStorageFault(0x10, fault.firmwareFault);

    std::uint8_t reply[4] = {};
    const VendorCdb cdb = BuildVendorCdb(0x10);
    const ScsiResult result =
        platform_.Execute(volume, {cdb.data(), 10, DataDirection::In, reply, 4, 1000});
    EXPECT_EQ(result.carriedOut, fault.carriedOut);
    EXPECT_EQ(result.bytesMoved, fault.bytesMoved);
    EXPECT_EQ(result.scsiStatus, fault.scsiStatus);
    EXPECT_EQ(result.status, fault.status);
    platform_.CloseVolume(volume);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SgIoRequestFault,
    testing::Values(
        RequestFault{"Answered", "/dev/sdc", SgFault::None, {}, true, 4, 0, DriveStatus::Ok},
        RequestFault{"PermissionDenied", "/dev/sdc", SgFault::PermissionDenied, {}, false, 0, 0,
                     DriveStatus::NoPermission},
        RequestFault{"BridgeAbortWithIoctlSuccess", "/dev/sdc", SgFault::BridgeAbort, {}, false,
                     4, 2, DriveStatus::Failed},
        RequestFault{"HostError", "/dev/sdc", SgFault::None, {ScsiFault::PassThroughFails, 0},
                     false, 4, 0, DriveStatus::Failed},
        // Only the signature arrived: the count says so, and the query fails on it.
        RequestFault{"ShortReply", "/dev/sdc", SgFault::None, {ScsiFault::ShortReply, 2}, true,
                     2, 0, DriveStatus::Ok},
        // A drive that does not know the command answers it with a refusal:
        // the backend reports the answer; the vendor command judges it.
        RequestFault{"CheckConditionFromAnOrdinaryDrive", "/dev/sdb", SgFault::None, {}, true,
                     0, 2, DriveStatus::Ok}),
    [](const testing::TestParamInfo<RequestFault>& info) { return info.param.name; });

}  // namespace
}  // namespace fwup::test
