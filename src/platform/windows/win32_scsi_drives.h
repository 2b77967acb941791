#pragma once

#include <map>

#include "platform/scsi_drives.h"

namespace fwup {

// The SCSI drive seam on Windows: the removable and CD-ROM drive letters,
// the raw volume of a letter, and IOCTL_SCSI_PASS_THROUGH_DIRECT on it.
class Win32ScsiDrives final : public ScsiDrives {
public:
    std::vector<VolumeCandidate> FindCandidateVolumes() override;
    PlatformHandle OpenVolume(const VolumeCandidate& volume, DriveStatus* why) override;
    ScsiResult Execute(PlatformHandle volume, const ScsiCommand& command) override;
    void CloseVolume(PlatformHandle volume) override;
};

}  // namespace fwup
