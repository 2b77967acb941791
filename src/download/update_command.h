#pragma once

#include "core/carried_image.h"
#include "core/outcome.h"
#include "core/progress.h"
#include "image/image_description.h"
#include "platform/usb_link.h"

namespace fwup {

// Update: opens the device in vendor mode (the given one, or the first the
// link lists), tells the sink the download starts, downloads the whole image
// and closes the device again. A device that does not open ends there with
// nothing sent. A program that carries the stand-in image and speaks to real
// hardware stops once the device is open, before its first frame.
UpdateResult UpdateFirmware(UsbLink& link, const ImageDescription& image, Hardware hardware,
                            ProgressSink& sink = NoProgress(), const UsbDeviceInfo* which = nullptr);

}  // namespace fwup
