#pragma once

// The dialog's two commands: each runs its command of the core and turns
// the outcome into the one text the status line shows, from one table.

#include "app/dialog/dialog_texts.h"
#include "core/outcome.h"
#include "image/image_description.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"
#include "app/dialog/user_interface.h"

namespace fwup {

// The status text for a command's result, or null where the status line
// keeps what it showed (the user declined). Composed texts go into buffer.
const char* DialogStatusText(const ClearResult& result, LanguageFlag languageFlag,
                             ComposedText& buffer);
const char* DialogStatusText(const UpdateResult& result, LanguageFlag languageFlag);

// The Update button: the wait text once the device is open and the download
// starts, then the outcome. A device that does not open shows the
// open-failure text alone. Both buttons take the image the program carries
// and what it speaks to: the stand-in changes no real device.
void OnUpdate(UsbLink& link, UserInterface& userInterface, LanguageFlag languageFlag,
              const ImageDescription& image, Hardware hardware);

// The Clear button: asks from version 2.40 on, in a box captioned "提示", and
// writes the one outcome text (nothing when the user declines).
void OnClear(ScsiDrives& drives, UserInterface& userInterface, LanguageFlag languageFlag,
             const ImageDescription& image, Hardware hardware);

}  // namespace fwup
