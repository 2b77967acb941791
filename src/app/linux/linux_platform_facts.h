#pragma once

#include "app/linux/front_end.h"
#include "platform/libusb_usb_platform.h"
#include "platform/sg_io_drive_platform.h"

namespace fwup {

// What libusb and SG_IO learned about the devices, for the front end's advice.
class LinuxPlatformFacts : public PlatformFacts {
public:
    LinuxPlatformFacts(LibusbUsbPlatform& usb, SgIoDrivePlatform& drives);

    UsbFacts Usb() override;
    std::string DriveAccessDeniedPath() override;
    // "/dev/sdc (VENDOR MODEL)"
    std::string DescribeVolume(PlatformHandle volume) override;

private:
    LibusbUsbPlatform& usb_;
    SgIoDrivePlatform& drives_;
};

}  // namespace fwup
