#pragma once

#include "image/firmware_image.h"

namespace fwup {

// The firmware image the program carries, built in from FIRMWARE_IMAGE; no
// image data (null, 0 bytes) when that file was empty.
FirmwareImage EmbeddedFirmwareImage();

}  // namespace fwup
