#include "download/download_protocol.h"

#include <initializer_list>

namespace fwup {
namespace {

// One write of a command: bytes that stay where they are (the image, the
// caller's payload) until the write has returned.
struct PayloadBlock {
    const std::uint8_t* bytes;
    std::uint32_t count;
};

void AddToChecksum(std::uint16_t& checksum, const PayloadBlock& block) {
    for (std::uint32_t i = 0; i < block.count; ++i)
        checksum = static_cast<std::uint16_t>(checksum + block.bytes[i]);
}

bool WriteCommandPipe(const VendorUsbDevice& device, const PayloadBlock& block,
                      std::uint32_t timeoutMs) {
    return WritePipe(*device.platform, device.commandPipe, block.bytes, block.count, nullptr,
                     timeoutMs);
}

// The reply buffer is cleared before the read, and a reply of fewer than two
// bytes is judged a failure: nothing left over from before the read can pass
// for the device's answer.
DownloadResult ReadReply(const VendorUsbDevice& device, DownloadResult rejection,
                         std::uint32_t timeoutMs) {
    std::array<std::uint8_t, kReplySize> reply{};
    std::uint32_t delivered = 0;
    if (!ReadPipe(*device.platform, device.replyPipe, reply.data(), kReplySize, &delivered,
                  timeoutMs))
        return DownloadResult::Failed;
    if (delivered < 2 || reply[0] != kReplyMarker) return DownloadResult::Failed;
    if (reply[1] != 0x00) return rejection;
    return DownloadResult::Ok;
}

DownloadResult ExchangeCommand(const VendorUsbDevice& device, CommandCode code,
                               std::initializer_list<PayloadBlock> payload,
                               DownloadResult rejection, std::uint16_t* checksum,
                               std::uint32_t timeoutMs) {
    std::uint32_t payloadLength = 0;
    for (const PayloadBlock& block : payload) payloadLength += block.count;

    std::array<std::uint8_t, kCommandHeaderSize> header{};
    header[0] = kCommandMarker[0];
    header[1] = kCommandMarker[1];
    header[2] = kCommandMarker[2];
    header[3] = static_cast<std::uint8_t>(code);
    StoreLe16(&header[4], static_cast<std::uint16_t>(payloadLength));

    if (!WriteCommandPipe(device, {header.data(), kCommandHeaderSize}, timeoutMs))
        return DownloadResult::Failed;
    for (const PayloadBlock& block : payload)
        if (!WriteCommandPipe(device, block, timeoutMs)) return DownloadResult::Failed;

    const DownloadResult result = ReadReply(device, rejection, timeoutMs);
    if (result == DownloadResult::Ok && checksum != nullptr)
        for (const PayloadBlock& block : payload) AddToChecksum(*checksum, block);
    return result;
}

}  // namespace

BeginPayload BuildBeginPayload(const std::array<std::uint8_t, 4>& beginWord,
                               std::uint32_t endAddress) {
    BeginPayload payload{
        0x00, 0x00, 0x00, 0x00, 0x03, 0x1C, 0xD0, 0x00,  //
        0xFC, 0x78, 0x56, 0x11, 0x11, 0x20, 0x1D, 0xD0,  //
        0x00, 0xFC, 0x78, 0x56, 0x44, 0x44, 0x20, 0x20,  //
        0xD0, 0x00, 0xFC, 0x00, 0x00, 0x00, 0x00, 0x20,
    };
    for (std::size_t i = 0; i < beginWord.size(); ++i) payload[i] = beginWord[i];
    StoreLe32(&payload[27], endAddress);
    return payload;
}

DownloadResult SendBeginCommand(const VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint16_t* checksum,
                                std::uint32_t timeoutMs) {
    return ExchangeCommand(device, CommandCode::CmdBegin, {{payload, payloadLength}},
                           DownloadResult::BeginRejected, checksum, timeoutMs);
}

DownloadResult SendDataCommand(const VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint16_t* checksum, std::uint32_t timeoutMs) {
    if (length == 0 || length > MaxChunkSize) return DownloadResult::Failed;
    std::array<std::uint8_t, kLoadAddressSize> address{};
    StoreLe32(address.data(), loadAddress);
    return ExchangeCommand(device, CommandCode::CmdData,
                           {{address.data(), kLoadAddressSize}, {data, length}},
                           DownloadResult::DataRejected, checksum, timeoutMs);
}

DownloadResult SendSegment(const VendorUsbDevice& device, std::uint32_t loadAddress,
                           const std::uint8_t* data, std::uint32_t length,
                           std::uint16_t* checksum, std::uint32_t timeoutMs) {
    while (length > 0) {
        const std::uint32_t piece = length < MaxChunkSize ? length : MaxChunkSize;
        const DownloadResult result =
            SendDataCommand(device, loadAddress, data, piece, checksum, timeoutMs);
        if (result != DownloadResult::Ok) return result;
        loadAddress += piece;  // wraps mod 2^32 like the device's address
        data += piece;
        length -= piece;
    }
    return DownloadResult::Ok;
}

DownloadResult SendEndCommand(const VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs) {
    std::array<std::uint8_t, kEndPayloadSize> payload{};
    StoreLe16(payload.data(), checksum);
    payload[2] = static_cast<std::uint8_t>(endFlag);
    return ExchangeCommand(device, CommandCode::CmdEnd, {{payload.data(), kEndPayloadSize}},
                           DownloadResult::EndRejected, nullptr, timeoutMs);
}

DownloadResult DownloadFirmware(const VendorUsbDevice& device, std::uint32_t endFlag,
                                FirmwareImage image, std::uint32_t timeoutMs) {
    if (!IsImageAccepted(image)) return DownloadResult::Failed;

    std::uint16_t downloadChecksum = 0;
    const BeginPayload begin =
        BuildBeginPayload(ReadBeginWord(image), ComputeEndAddress(image));
    DownloadResult result = SendBeginCommand(device, begin.data(), kBeginPayloadSize,
                                             &downloadChecksum, timeoutMs);
    if (result != DownloadResult::Ok) return result;
    // Too short for a segment header: the begin command is the whole download.
    if (image.imageSize < kShortestImageWithSegments) return DownloadResult::Ok;

    WalkSegments(image, [&](const ImageSegment& segment) {
        result = SendSegment(device, segment.loadAddress, segment.data, segment.length,
                             &downloadChecksum, timeoutMs);
        return result == DownloadResult::Ok;
    });
    if (result != DownloadResult::Ok) return result;

    return SendEndCommand(device, endFlag, downloadChecksum, timeoutMs);
}

}  // namespace fwup
