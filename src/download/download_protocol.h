#pragma once

#include <array>
#include <cstdint>

#include "download/firmware_image.h"
#include "download/vendor_usb_device.h"

namespace fwup {

enum class DownloadResult : int {
    Ok = 0,
    Failed = 3,  // image refused, a transfer failed or timed out, or a malformed reply
    BeginRejected = 4,
    DataRejected = 6,
    EndRejected = 7,
};

enum class CommandCode : std::uint8_t {
    CmdBegin = 0x01,
    CmdData = 0x02,
    CmdEnd = 0x08,
};

inline constexpr std::array<std::uint8_t, 3> kCommandMarker{0xEF, 0x01, 0x02};
inline constexpr std::uint32_t kCommandHeaderSize = 6;
inline constexpr std::uint32_t kBeginPayloadSize = 32;
inline constexpr std::uint32_t kLoadAddressSize = 4;
inline constexpr std::uint32_t kEndPayloadSize = 3;
inline constexpr std::uint32_t kReplySize = 4;
inline constexpr std::uint8_t kReplyMarker = 0x02;  // the value of header byte 2
inline constexpr std::uint32_t MaxChunkSize = 4096;
inline constexpr std::uint32_t kUpdateEndFlag = 1;
inline constexpr std::uint32_t kUpdateTimeoutMs = 10000;

using BeginPayload = std::array<std::uint8_t, kBeginPayloadSize>;

// The 32-byte begin payload: beginWord in bytes 0..3, endAddress
// little-endian in bytes 27..30, the rest fixed.
BeginPayload BuildBeginPayload(const std::array<std::uint8_t, 4>& beginWord,
                               std::uint32_t endAddress);

// Each command: the 6-byte header as one write, each payload block as one
// write, then a 4-byte reply. checksum, when given, gains the payload bytes
// only once the device has accepted the command.
DownloadResult SendBeginCommand(const VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint16_t* checksum,
                                std::uint32_t timeoutMs);
// length 1 to MaxChunkSize; anything else is refused with Failed, unsent.
DownloadResult SendDataCommand(const VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint16_t* checksum, std::uint32_t timeoutMs);
// Pieces of at most MaxChunkSize; the first result that is not Ok ends it.
DownloadResult SendSegment(const VendorUsbDevice& device, std::uint32_t loadAddress,
                           const std::uint8_t* data, std::uint32_t length,
                           std::uint16_t* checksum, std::uint32_t timeoutMs);
DownloadResult SendEndCommand(const VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs);

// The whole download: begin, the data of every walked segment, end with the
// checksum. Stops at the first failure; never opens or closes the device.
DownloadResult DownloadFirmware(const VendorUsbDevice& device, std::uint32_t endFlag,
                                FirmwareImage image, std::uint32_t timeoutMs);

}  // namespace fwup
