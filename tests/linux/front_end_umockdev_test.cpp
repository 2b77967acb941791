// firmware-updater over the real libusb and SG_IO backends, against devices
// umockdev emulates: the whole program but main(), and the advice it gives
// from what the backends learned.
#include <gtest/gtest.h>

#include <memory>

#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "linux/emulated_scsi_drive.h"
#include "linux/emulated_usb_device.h"
#include "linux/front_end_runner.h"
#include "linux/umockdev_testbed.h"
#include "image/stand_in_image.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace fwup::test {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The device in vendor mode at a port of its own, and the Linux platform
// started after it.
struct VendorModeMachine {
    explicit VendorModeMachine(int port)
        : device(Testbed(), "1-" + std::to_string(port), port + 1, 0x2008, 0x7639, true),
          usb(std::make_unique<LibusbUsbLink>()) {}
    EmulatedUsbDevice device;
    std::unique_ptr<LibusbUsbLink> usb;
    SgIoScsiDrives drives;
};

TEST(FrontEndOnLinux, UpdateWritesTheImageOverLibusb) {
    VendorModeMachine machine(1);
    const Ran run = RunFrontEndWith({"update"}, *machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.err, "Updating the firmware, please wait...\n1-1: 25%\n1-1: 50%\n1-1: 75%\n1-1: 100%\n");
    EXPECT_EQ(run.out, "Firmware updated.\n");
    EXPECT_TRUE(machine.device.Firmware().FirmwareComplete());
    EXPECT_EQ(machine.device.ClaimedInterfaces(), 0);
}

TEST(FrontEndOnLinux, AnUnplugDuringTheUpdateIsNamed) {
    VendorModeMachine machine(2);
    machine.device.Plan(20, {UrbFault::Unplug, {}});
    const Ran run = RunFrontEndWith({"update"}, *machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    EXPECT_TRUE(Contains(run.err, "The update failed.\n"
                                  "The device went away during the update.\n"
                                  "Unplug the device, plug it in again"))
        << run.err;
}

TEST(FrontEndOnLinux, AHeldInterfaceIsNamedWithItsNode) {
    VendorModeMachine machine(3);
    machine.device.RefuseClaim();
    const Ran run = RunFrontEndWith({"update"}, *machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_EQ(run.err, "Could not open the device.\nAnother program or driver holds the device "
                       "(1-3): close it and try again.\n");
}

// The device in storage mode as sdc, behind an ordinary removable disk.
struct StorageModeMachine {
    StorageModeMachine() : firmware(DeviceMode::StorageMode) {
        firmware.volumes["D"] = SimulatedVolume{VolumeKind::Removable, false, true};
        firmware.volumes["E"] = SimulatedVolume{VolumeKind::Removable, true, true};
        ordinary = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdb", 0, true, firmware, "D");
        device = std::make_unique<EmulatedScsiDrive>(Testbed(), "sdc", 0, true, firmware, "E");
    }
    SimulatedDevice firmware;
    std::unique_ptr<EmulatedScsiDrive> ordinary, device;
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
};

TEST(FrontEndOnLinux, ClearAndInfoOverSgIo) {
    StorageModeMachine machine;
    Ran run = RunFrontEndWith({"info"}, machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "Device found at /dev/sdc (EMULATED DRIVE sdc)\n"
                       "Firmware version: 2.40 (0x0240)\nUser id: 0xFFFFFFFF\n"
                       "Firmware image: 45637 bytes, end address 0x8000D218, checksum 0x5DC6 "
                       "(stand-in test image: changes no real device)\n");
    run = RunFrontEndWith({"clear", "--yes"}, machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(Contains(run.out, "Firmware erased.\n")) << run.out;
    EXPECT_EQ(machine.firmware.EraseCount(), 1u);
    EXPECT_EQ(machine.drives.OpenVolumeCount(), 0);
}

// clear --all: two devices, each on a thread of its own over the one
// SgIoScsiDrives; both erased, every volume closed again.
TEST(FrontEndOnLinux, ClearAllOverSgIoErasesEachDeviceOnItsOwnThread) {
    SimulatedDevice first(DeviceMode::StorageMode), second(DeviceMode::StorageMode);
    first.volumes["E"] = SimulatedVolume{VolumeKind::Removable, true, true};
    second.volumes["E"] = SimulatedVolume{VolumeKind::Removable, true, true};
    EmulatedScsiDrive sdd(Testbed(), "sdd", 0, true, first, "E");
    EmulatedScsiDrive sde(Testbed(), "sde", 0, true, second, "E");
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
    const Ran run = RunFrontEndWith({"clear", "--all", "--yes"}, usb, drives);
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    EXPECT_TRUE(Contains(run.out, "/dev/sdd: Firmware erased.")) << run.out;
    EXPECT_TRUE(Contains(run.out, "/dev/sde: Firmware erased.")) << run.out;
    EXPECT_EQ(first.EraseCount(), 1u);
    EXPECT_EQ(second.EraseCount(), 1u);
    EXPECT_EQ(drives.OpenVolumeCount(), 0);
}

TEST(FrontEndOnLinux, ClearWithoutTheRightToSendVendorCommandsSaysRunAsRoot) {
    StorageModeMachine machine;
    machine.ordinary->FailWith(SgFault::PermissionDenied);
    machine.device->FailWith(SgFault::PermissionDenied);
    const Ran run = RunFrontEndWith({"clear", "--yes"}, machine.usb, machine.drives);
    EXPECT_EQ(run.code, ExitCode::NoPermission);
    EXPECT_EQ(run.err, "Could not open the device.\nNo permission to send commands to /dev/sdb: run "
                       "as root (the vendor commands need CAP_SYS_RAWIO).\n");
    EXPECT_EQ(machine.firmware.EraseCount(), 0u);
}

// The program as built with the stand-in image, over the real backends: it
// finds the device in either mode and changes nothing.
TEST(FrontEndOnLinux, TheStandInImageChangesNoRealDevice) {
    const FirmwareImage standIn = EmbeddedFirmwareImage();
    ASSERT_TRUE(IsStandInImage(standIn)) << "the tests build with the stand-in";
    VendorModeMachine vendor(5);
    Ran run = RunFrontEndWith({"update"}, *vendor.usb, vendor.drives, {}, standIn, true);
    EXPECT_EQ(run.code, ExitCode::StandInImage);
    EXPECT_TRUE(Contains(run.err, "carries the stand-in test image")) << run.err;
    EXPECT_EQ(vendor.device.SubmittedUrbs(), 0u);
    EXPECT_EQ(vendor.device.ClaimedInterfaces(), 0);

    StorageModeMachine storage;
    run = RunFrontEndWith({"clear", "--yes"}, storage.usb, storage.drives, {}, standIn, true);
    EXPECT_EQ(run.code, ExitCode::StandInImage);
    EXPECT_TRUE(Contains(run.err, "carries the stand-in test image")) << run.err;
    ASSERT_FALSE(storage.device->Requests().empty());
    for (const SgRequest& request : storage.device->Requests())  // version queries alone
        EXPECT_EQ(request.cdb, VendorCdbBytes(0x10));
    EXPECT_EQ(storage.firmware.EraseCount(), 0u);
}

}  // namespace
}  // namespace fwup::test
