#pragma once

#include <array>
#include <cstdint>

#include "core/device_model.h"
#include "core/progress.h"
#include "core/download_result.h"
#include "image/firmware_image.h"
#include "download/vendor_usb_device.h"

namespace fwup {

enum class CommandCode : std::uint8_t {
    CmdBegin = kBeginCommandCode,
    CmdData = kDataCommandCode,
    CmdEnd = kEndCommandCode,
};

using BeginPayload = std::array<std::uint8_t, kBeginPayloadSize>;

// The 32-byte begin payload: beginWord in bytes 0..3, endAddress
// little-endian in bytes 27..30, the rest fixed.
BeginPayload BuildBeginPayload(const std::array<std::uint8_t, 4>& beginWord,
                               std::uint32_t endAddress);

// Each command: the 6-byte header as one write, each payload block as one
// write, then a 4-byte reply. checksum, when given, gains the payload bytes
// only once the device has accepted the command. Each exchange is reported
// to the sink as it went.
DownloadResult SendBeginCommand(VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint16_t* checksum,
                                std::uint32_t timeoutMs, ProgressSink& sink = NoProgress());
// length 1 to MaxChunkSize; anything else is refused with Failed, unsent.
DownloadResult SendDataCommand(VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint16_t* checksum, std::uint32_t timeoutMs,
                               ProgressSink& sink = NoProgress());
// Pieces of at most MaxChunkSize; the first result that is not Ok ends it.
DownloadResult SendSegment(VendorUsbDevice& device, std::uint32_t loadAddress,
                           const std::uint8_t* data, std::uint32_t length,
                           std::uint16_t* checksum, std::uint32_t timeoutMs,
                           ProgressSink& sink = NoProgress());
DownloadResult SendEndCommand(VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs,
                              ProgressSink& sink = NoProgress());

// The data commands a download of the image sends, as it cuts its segments.
std::uint64_t DataCommandCount(FirmwareImage image);

// The checksum the end command of a download of the image carries, when every
// command is accepted; 0 for an image the download refuses.
std::uint16_t DownloadChecksum(FirmwareImage image);

// The whole download: begin, the data of every walked segment, end with the
// checksum. Stops at the first failure, or with Interrupted before a command
// when the sink asks to stop; never opens or closes the device. The sink hears
// of each exchange, and of each accepted data command as image bytes done.
DownloadResult DownloadFirmware(VendorUsbDevice& device, std::uint32_t endFlag,
                                FirmwareImage image, std::uint32_t timeoutMs,
                                ProgressSink& sink = NoProgress());

}  // namespace fwup
