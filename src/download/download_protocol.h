#pragma once

#include <cstdint>

#include "core/device_model.h"
#include "core/progress.h"
#include "core/download_result.h"
#include "image/image_description.h"
#include "download/vendor_usb_device.h"

namespace fwup {

enum class CommandCode : std::uint8_t {
    CmdBegin = kBeginCommandCode,
    CmdData = kDataCommandCode,
    CmdEnd = kEndCommandCode,
};

// Each command: the 6-byte header as one write, each payload block as one
// write, then a 4-byte reply. Each exchange is reported to the sink as it went.
DownloadResult SendBeginCommand(VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint32_t timeoutMs,
                                ProgressSink& sink = NoProgress());
// length 1 to MaxChunkSize; anything else is refused with Failed, unsent.
DownloadResult SendDataCommand(VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint32_t timeoutMs, ProgressSink& sink = NoProgress());
DownloadResult SendEndCommand(VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs,
                              ProgressSink& sink = NoProgress());

// The whole download of the described image: begin, its data commands, end
// with its checksum. Stops at the first failure, or with Interrupted before
// a command when the sink asks to stop; an image the download's own test
// refuses is Failed with nothing sent. Never opens or closes the device. The
// sink hears of each exchange, and of each accepted data command as image
// bytes done.
DownloadResult DownloadFirmware(VendorUsbDevice& device, std::uint32_t endFlag,
                                const ImageDescription& image, std::uint32_t timeoutMs,
                                ProgressSink& sink = NoProgress());

}  // namespace fwup
