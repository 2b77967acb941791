#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/scsi_drives.h"

namespace fwup {

// A block device that may be the device's volume: a SCSI CD-ROM, or a SCSI
// disk that says it is removable.
struct BlockDeviceCandidate {
    std::string name;    // kernel name: "sr0", "sdb"
    bool cdRom;          // a CD-ROM; otherwise a removable disk
    std::string vendor;  // the INQUIRY strings sysfs keeps, trimmed
    std::string model;
};

// Kernel names in natural order: by prefix, then shorter suffixes first, so
// sda < sdz < sdaa and sr2 < sr10.
bool NaturalNameLess(const std::string& a, const std::string& b);

// The candidates under <sysRoot>/block in natural order: a device whose
// device/type is 5 is a CD-ROM; otherwise one whose removable flag is 1 is
// removable. Devices without device/type (loop, virtio, nvme, mmc) are not
// SCSI devices and are left out, as are fixed SCSI disks.
std::vector<BlockDeviceCandidate> ListBlockDeviceCandidates(const std::string& sysRoot);

// The USB port path ("1-1.4") of the device a block device sits on, from
// where sysfs places it; empty for a device not on USB.
std::string UsbPortOfBlockDevice(const std::string& sysRoot, const std::string& name);

// The serial number of that USB device (its sysfs "serial" attribute, which
// needs no rights to read); empty off USB or for a device without one.
std::string UsbSerialOfBlockDevice(const std::string& sysRoot, const std::string& name);

// What a finished SG_IO request reports, by the fields of sg_io_hdr_t.
struct SgIoAnswer {
    std::uint8_t status;         // the device's SCSI status
    std::uint16_t hostStatus;    // host_status: the adapter or the bridge (0: no error)
    std::uint16_t driverStatus;  // driver_status
    std::int32_t resid;          // what the data phase fell short by
    std::uint32_t dxferLength;   // what it asked
    std::uint8_t senseWritten;   // sb_len_wr
};

// The seam's facts of an SG_IO request the kernel accepted: carried out when
// the host status is clean and the driver status holds no more than
// DRIVER_SENSE (the sense data that a CHECK CONDITION brings), whatever the
// SCSI status; the SCSI status, the sense (sense: at least kSenseBytes) and
// the count moved as they came.
ScsiResult SgIoResult(const SgIoAnswer& answer, const std::uint8_t* sense);

// The SCSI drive seam over Linux block devices and SG_IO. Each search lists
// the candidates present at that moment, in natural order; a volume is named
// "/dev/<kernel name>".
class SgIoScsiDrives : public ScsiDrives {
public:
    explicit SgIoScsiDrives(std::string sysRoot = "/sys", std::string devRoot = "/dev");
    ~SgIoScsiDrives() override;
    SgIoScsiDrives(const SgIoScsiDrives&) = delete;
    SgIoScsiDrives& operator=(const SgIoScsiDrives&) = delete;

    std::vector<VolumeCandidate> FindCandidateVolumes() override;
    PlatformHandle OpenVolume(const VolumeCandidate& volume, DriveStatus* why) override;
    // Sends the CDB with a data-in transfer and the time limit, and reports
    // the answer as SgIoResult reads it; the count moved is what the kernel
    // reports (asked less its residue).
    ScsiResult Execute(PlatformHandle volume, const ScsiCommand& command) override;
    void CloseVolume(PlatformHandle volume) override;

    int OpenVolumeCount() const;

private:
    bool IsOpen(PlatformHandle volume) const;

    std::string sysRoot_;
    std::string devRoot_;
    // Threads open and close volumes side by side: the map is guarded, and a
    // descriptor leaves it before it is closed, since the system may hand the
    // same number to another thread's open at once.
    mutable std::mutex lock_;
    std::map<PlatformHandle, std::string> volumes_;  // by open descriptor: the volume's id
};

}  // namespace fwup
