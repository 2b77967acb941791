#pragma once

#include "download/firmware_image.h"
#include "platform/usb_platform.h"
#include "platform/user_interface.h"

namespace fwup {

// The Update button: opens the device in vendor mode, shows the wait text,
// downloads the whole image, shows the outcome and closes the device again.
// A device that does not open shows the open-failure text alone: no wait
// text, nothing sent. Always 0.
int OnUpdate(UsbPlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag,
             FirmwareImage image);

}  // namespace fwup
