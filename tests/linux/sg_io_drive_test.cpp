// The SG_IO drive platform against SCSI drives that umockdev emulates: the
// real sysfs reading, open and ioctl, only the drives are answered from the
// test, by the simulated device's storage firmware.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <memory>

#include "linux/emulated_scsi_drive.h"
#include "linux/umockdev_testbed.h"
#include "platform/sg_io_drive_platform.h"
#include "storage/clear_command.h"
#include "storage/vendor_scsi_commands.h"
#include "storage_test_support.h"

namespace fwup::test {
namespace {

constexpr int kDisk = 0;
constexpr int kCdRom = 5;

// sda: a fixed disk; sdb: an ordinary removable disk; sdc: the device;
// sr0: an ordinary CD-ROM drive after it; loop0: not a SCSI device.
class SgIoDrives : public testing::Test {
protected:
    SgIoDrives() : firmware_(DeviceMode::StorageMode) {
        firmware_.volumes['G'] = SimulatedVolume{VolumeKind::Fixed, false, true};
        firmware_.volumes['D'] = SimulatedVolume{VolumeKind::Removable, false, true};
        firmware_.volumes['E'] = SimulatedVolume{VolumeKind::Removable, true, true};
        firmware_.volumes['F'] = SimulatedVolume{VolumeKind::CdRom, false, true};
        firmware_.firmwareVersion = 0x0240;
        fixed_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sda", kDisk, false, firmware_, 'G');
        ordinary_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdb", kDisk, true, firmware_, 'D');
        device_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdc", kDisk, true, firmware_, 'E');
        cdrom_ = std::make_unique<EmulatedScsiDrive>(Testbed(), "sr0", kCdRom, true, firmware_, 'F');
        gchar* loop = umockdev_testbed_add_device(Testbed(), "block", "loop0", nullptr, "removable",
                                                  "0\n", nullptr, "DEVNAME", "/dev/loop0", nullptr);
        loopPath_ = loop;
        g_free(loop);
    }
    ~SgIoDrives() override { RemoveBlockDevice(loopPath_, "loop0"); }

    SimulatedDevice firmware_;
    std::unique_ptr<EmulatedScsiDrive> fixed_, ordinary_, device_, cdrom_;
    std::string loopPath_;
    SgIoDrivePlatform platform_;
};

TEST_F(SgIoDrives, FindsTheDeviceBehindAnOrdinaryRemovableDisk) {
    std::uint16_t version = 0;
    const VendorDrive drive = FindVendorDrive(platform_, &version, kClearTimeLimitSeconds);
    ASSERT_NE(drive, kInvalidHandleValue);
    EXPECT_EQ(version, 0x0240);
    EXPECT_EQ(platform_.DevicePathOf(drive), "/dev/sdc");

    // Letters: the candidates in natural order; the rest is Other.
    EXPECT_EQ(platform_.CandidateOf('C')->name, "sdb");
    EXPECT_EQ(platform_.CandidateOf('D')->name, "sdc");
    EXPECT_EQ(platform_.CandidateOf('E')->name, "sr0");
    EXPECT_EQ(platform_.DriveTypeOf('E'), DriveType::CdRom);
    EXPECT_EQ(platform_.DriveTypeOf('F'), DriveType::Other);
    EXPECT_EQ(platform_.CandidateOf('D')->model, "DRIVE sdc");

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
    const VendorDrive drive = FindVendorDrive(platform_, &version, kClearTimeLimitSeconds);
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
    OnClear(platform_, userInterface, 1);
    ASSERT_EQ(userInterface.questions.size(), 1u);  // version 2.40 asks
    EXPECT_EQ(userInterface.status, "Clear the original firmware successfully");
    EXPECT_EQ(firmware_.EraseCount(), 1u);
    EXPECT_EQ(platform_.OpenVolumeCount(), 0);
}

// What the platform makes of the ways a request can go wrong on the device.
struct RequestFault {
    const char* name;
    char letter;  // C: the ordinary disk, D: the device
    SgFault sgFault;
    StorageFault firmwareFault;
    std::uint32_t delivered;  // the count written back
    std::uint8_t scsiStatus;  // written back
    bool permissionProblem;
};

class SgIoRequestFault : public SgIoDrives, public testing::WithParamInterface<RequestFault> {};

TEST_P(SgIoRequestFault, IsNotCarriedOut) {
    const RequestFault& fault = GetParam();
    platform_.DriveTypeOf('C');
    const PlatformHandle volume = platform_.OpenVolume(fault.letter);
    ASSERT_NE(volume, kInvalidHandleValue);
    device_->FailWith(fault.sgFault);
    firmware_.InjectStorageFault(0x10, fault.firmwareFault);

    std::uint8_t reply[4] = {};
    const VendorCdb cdb = BuildVendorCdb(0x10);
    ScsiPassThroughDirect record = BuildPassThroughRecord(cdb.data(), 10, reply, 4, 1000);
    EXPECT_FALSE(platform_.PassThrough(volume, record));
    EXPECT_EQ(record.DataTransferLength, fault.delivered);
    EXPECT_EQ(record.ScsiStatus, fault.scsiStatus);
    EXPECT_EQ(platform_.AccessProblem() == DriveAccessProblem::PermissionDenied,
              fault.permissionProblem);
    if (fault.permissionProblem) {
        EXPECT_EQ(platform_.AccessDeniedPath(), "/dev/sdc");
    }
    platform_.CloseVolume(volume);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SgIoRequestFault,
    testing::Values(
        RequestFault{"PermissionDenied", 'D', SgFault::PermissionDenied, {}, 4, 0, true},
        RequestFault{"BridgeAbortWithIoctlSuccess", 'D', SgFault::BridgeAbort, {}, 4, 2, false},
        RequestFault{"HostError", 'D', SgFault::None, {ScsiFault::PassThroughFails, 0}, 4, 0,
                     false},
        // Only the signature arrived: a version of 0 must not be read into it.
        RequestFault{"ShortReply", 'D', SgFault::None, {ScsiFault::ShortReply, 2}, 2, 0, false},
        // A drive that does not know the command refuses it.
        RequestFault{"CheckConditionFromAnOrdinaryDrive", 'C', SgFault::None, {}, 0, 2, false}),
    [](const testing::TestParamInfo<RequestFault>& info) { return info.param.name; });

}  // namespace
}  // namespace fwup::test
