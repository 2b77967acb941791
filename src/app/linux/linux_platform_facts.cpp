#include "app/linux/linux_platform_facts.h"

namespace fwup {

LinuxPlatformFacts::LinuxPlatformFacts(LibusbUsbPlatform& usb, SgIoDrivePlatform& drives)
    : usb_(usb), drives_(drives) {}

UsbFacts LinuxPlatformFacts::Usb() {
    UsbFacts facts;
    facts.unavailable = !usb_.Available();
    if (usb_.LastOpenProblem() == UsbOpenProblem::AccessDenied)
        facts.accessDeniedNode = usb_.LastDeviceNode();
    if (usb_.LastOpenProblem() == UsbOpenProblem::Busy) facts.busyNode = usb_.LastDeviceNode();
    facts.deviceWentAway = usb_.LastTransferProblem() == UsbTransferProblem::DeviceGone;
    facts.deviceStoppedAnswering = usb_.LastTransferProblem() == UsbTransferProblem::TimeLimit;
    return facts;
}

std::string LinuxPlatformFacts::DriveAccessDeniedPath() {
    return drives_.AccessProblem() == DriveAccessProblem::PermissionDenied
               ? drives_.AccessDeniedPath()
               : std::string{};
}

std::string LinuxPlatformFacts::DescribeVolume(PlatformHandle volume) {
    const std::optional<BlockDeviceCandidate> candidate = drives_.CandidateOfVolume(volume);
    if (!candidate) return {};
    return drives_.DevicePath(*candidate) + " (" + candidate->vendor + " " + candidate->model +
           ")";
}

}  // namespace fwup
