#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_platform.h"

namespace fwup {

// A block device that may be the device's volume: a SCSI CD-ROM, or a SCSI
// disk that says it is removable.
struct BlockDeviceCandidate {
    std::string name;    // kernel name: "sr0", "sdb"
    DriveType type;      // CdRom or Removable
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

// Why a candidate could not be spoken to, for advice to the user.
enum class DriveAccessProblem {
    None,
    PermissionDenied,  // the node did not open, or SG_IO was refused (0x87 needs CAP_SYS_RAWIO)
};

// The drive seam over Linux block devices and the SG_IO request. The letters
// C to Z stand for up to 24 candidates in natural order, as listed when the
// search starts at C:; letters past the last candidate, and A: and B:, are
// Other and are never opened.
class SgIoDrivePlatform : public DrivePlatform {
public:
    explicit SgIoDrivePlatform(std::string sysRoot = "/sys", std::string devRoot = "/dev");
    ~SgIoDrivePlatform() override;
    SgIoDrivePlatform(const SgIoDrivePlatform&) = delete;
    SgIoDrivePlatform& operator=(const SgIoDrivePlatform&) = delete;

    DriveType DriveTypeOf(char letter) override;
    PlatformHandle OpenVolume(char letter) override;
    // Sends the CDB with a data-in transfer of DataTransferLength bytes and a
    // time limit of TimeOutValue seconds. True only when the request was
    // carried out: SCSI status, host status and driver status all good, and
    // the whole reply delivered. Writes back the SCSI status and the count
    // delivered.
    bool PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) override;
    void CloseVolume(PlatformHandle volume) override;

    // The candidate a letter stands for in the current listing.
    std::optional<BlockDeviceCandidate> CandidateOf(char letter) const;
    // "/dev/sr0": where a candidate's node is.
    std::string DevicePath(const BlockDeviceCandidate& candidate) const;
    // The device path of an open volume; empty for an unknown handle.
    std::string DevicePathOf(PlatformHandle volume) const;
    // The candidate an open volume belongs to.
    std::optional<BlockDeviceCandidate> CandidateOfVolume(PlatformHandle volume) const;

    DriveAccessProblem AccessProblem() const { return accessProblem_; }
    // The first device path on which access was refused.
    const std::string& AccessDeniedPath() const { return accessDeniedPath_; }
    int OpenVolumeCount() const { return static_cast<int>(volumes_.size()); }

private:
    void NoteAccessDenied(const std::string& devicePath);

    std::string sysRoot_;
    std::string devRoot_;
    std::vector<BlockDeviceCandidate> candidates_;
    bool listed_ = false;
    std::map<PlatformHandle, BlockDeviceCandidate> volumes_;  // by open descriptor
    DriveAccessProblem accessProblem_ = DriveAccessProblem::None;
    std::string accessDeniedPath_;
};

}  // namespace fwup
