#include "download/download_protocol.h"

#include <initializer_list>

#include "core/little_endian.h"

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

// The reply buffer is cleared before the read, and a reply of fewer than two
// bytes is judged a failure: nothing left over from before the read can pass
// for the device's answer. Byte 0 is judged before the status byte.
DownloadResult JudgeReply(const std::array<std::uint8_t, kReplySize>& reply,
                          std::uint32_t delivered, DownloadResult rejection) {
    if (delivered < 2 || reply[0] != kReplyMarker) return DownloadResult::Failed;
    if (reply[1] != kReplyAccepted) return rejection;
    return DownloadResult::Ok;
}

DownloadResult ExchangeCommand(VendorUsbDevice& device, CommandCode code,
                               std::initializer_list<PayloadBlock> payload,
                               DownloadResult rejection, std::uint16_t* checksum,
                               std::uint32_t timeoutMs, ProgressSink& sink) {
    std::uint32_t payloadLength = 0;
    for (const PayloadBlock& block : payload) payloadLength += block.count;

    std::array<std::uint8_t, kCommandHeaderSize> header{};
    header[0] = kCommandMarker[0];
    header[1] = kCommandMarker[1];
    header[2] = kCommandMarker[2];
    header[3] = static_cast<std::uint8_t>(code);
    StoreLe16(&header[4], static_cast<std::uint16_t>(payloadLength));

    CommandExchange exchange;
    exchange.code = header[3];
    exchange.length = payloadLength;
    exchange.header = header.data();
    const PayloadBlock& last = *(payload.end() - 1);
    exchange.data = last.bytes;
    exchange.dataLength = last.count;
    if (code == CommandCode::CmdData) exchange.address = ReadLe32(payload.begin()->bytes);

    std::array<std::uint8_t, kReplySize> reply{};
    std::uint32_t delivered = 0;
    DownloadResult result = DownloadResult::Failed;
    bool written = WritePipe(device, header.data(), kCommandHeaderSize, timeoutMs);
    for (const PayloadBlock& block : payload)
        written = written && WritePipe(device, block.bytes, block.count, timeoutMs);
    if (written && ReadPipe(device, reply.data(), kReplySize, &delivered, timeoutMs)) {
        result = JudgeReply(reply, delivered, rejection);
        exchange.reply = reply.data();
        exchange.replyLength = delivered < kReplySize ? delivered : kReplySize;
    }
    if (result == DownloadResult::Ok && checksum != nullptr)
        for (const PayloadBlock& block : payload) AddToChecksum(*checksum, block);
    exchange.result = result;
    sink.OnExchange(exchange);
    return result;
}

// Turns the exchanges of a download into progress: image bytes accepted of
// the image bytes the download sends. Passes everything on.
class DownloadProgress : public ProgressSink {
public:
    DownloadProgress(ProgressSink& outer, std::uint64_t total) : outer_(outer) {
        progress_.step = Step::Download;
        progress_.total = total;
    }
    void OnExchange(const CommandExchange& exchange) override {
        outer_.OnExchange(exchange);
        if (exchange.code != kDataCommandCode || exchange.result != DownloadResult::Ok) return;
        progress_.done += exchange.dataLength;
        outer_.OnProgress(progress_);
    }
    bool StopRequested() override { return outer_.StopRequested(); }

private:
    ProgressSink& outer_;
    Progress progress_;
};

// Cuts a segment into the pieces of at most MaxChunkSize that its data
// commands carry, each at its own address; stops when fn returns false.
template <typename Fn>
bool ForEachPiece(std::uint32_t loadAddress, const std::uint8_t* data, std::uint32_t length,
                  Fn&& fn) {
    while (length > 0) {
        const std::uint32_t piece = length < MaxChunkSize ? length : MaxChunkSize;
        if (!fn(loadAddress, data, piece)) return false;
        loadAddress += piece;  // wraps mod 2^32 like the device's address
        data += piece;
        length -= piece;
    }
    return true;
}

}  // namespace

BeginPayload BuildBeginPayload(const std::array<std::uint8_t, 4>& beginWord,
                               std::uint32_t endAddress) {
    BeginPayload payload = kBeginPayloadTemplate;
    for (std::size_t i = 0; i < beginWord.size(); ++i) payload[kBeginWordAt + i] = beginWord[i];
    StoreLe32(&payload[kEndAddressAt], endAddress);
    return payload;
}

DownloadResult SendBeginCommand(VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint16_t* checksum,
                                std::uint32_t timeoutMs, ProgressSink& sink) {
    return ExchangeCommand(device, CommandCode::CmdBegin, {{payload, payloadLength}},
                           DownloadResult::BeginRejected, checksum, timeoutMs, sink);
}

DownloadResult SendDataCommand(VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint16_t* checksum, std::uint32_t timeoutMs,
                               ProgressSink& sink) {
    if (length == 0 || length > MaxChunkSize) return DownloadResult::Failed;
    std::array<std::uint8_t, kLoadAddressSize> address{};
    StoreLe32(address.data(), loadAddress);
    return ExchangeCommand(device, CommandCode::CmdData,
                           {{address.data(), kLoadAddressSize}, {data, length}},
                           DownloadResult::DataRejected, checksum, timeoutMs, sink);
}

DownloadResult SendSegment(VendorUsbDevice& device, std::uint32_t loadAddress,
                           const std::uint8_t* data, std::uint32_t length,
                           std::uint16_t* checksum, std::uint32_t timeoutMs,
                           ProgressSink& sink) {
    DownloadResult result = DownloadResult::Ok;
    ForEachPiece(loadAddress, data, length,
                 [&](std::uint32_t address, const std::uint8_t* piece, std::uint32_t count) {
                     result = sink.StopRequested()
                                  ? DownloadResult::Interrupted
                                  : SendDataCommand(device, address, piece, count, checksum,
                                                    timeoutMs, sink);
                     return result == DownloadResult::Ok;
                 });
    return result;
}

DownloadResult SendEndCommand(VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs,
                              ProgressSink& sink) {
    std::array<std::uint8_t, kEndPayloadSize> payload{};
    StoreLe16(payload.data(), checksum);
    payload[2] = static_cast<std::uint8_t>(endFlag);
    return ExchangeCommand(device, CommandCode::CmdEnd, {{payload.data(), kEndPayloadSize}},
                           DownloadResult::EndRejected, nullptr, timeoutMs, sink);
}

std::uint64_t DataCommandCount(FirmwareImage image) {
    std::uint64_t commands = 0;
    if (!IsImageAccepted(image)) return commands;
    WalkSegments(image, [&](const ImageSegment& segment) {
        return ForEachPiece(segment.loadAddress, segment.data, segment.length,
                            [&](std::uint32_t, const std::uint8_t*, std::uint32_t) {
                                ++commands;
                                return true;
                            });
    });
    return commands;
}

std::uint16_t DownloadChecksum(FirmwareImage image) {
    if (!IsImageAccepted(image)) return 0;
    std::uint16_t sum = 0;
    const BeginPayload begin = BuildBeginPayload(ReadBeginWord(image), ComputeEndAddress(image));
    AddToChecksum(sum, {begin.data(), kBeginPayloadSize});
    if (image.imageSize < kShortestImageWithSegments) return sum;
    WalkSegments(image, [&](const ImageSegment& segment) {
        return ForEachPiece(segment.loadAddress, segment.data, segment.length,
                            [&](std::uint32_t address, const std::uint8_t* piece,
                                std::uint32_t count) {
                                std::array<std::uint8_t, kLoadAddressSize> bytes{};
                                StoreLe32(bytes.data(), address);
                                AddToChecksum(sum, {bytes.data(), kLoadAddressSize});
                                AddToChecksum(sum, {piece, count});
                                return true;
                            });
    });
    return sum;
}

DownloadResult DownloadFirmware(VendorUsbDevice& device, std::uint32_t endFlag,
                                FirmwareImage image, std::uint32_t timeoutMs,
                                ProgressSink& sink) {
    if (!IsImageAccepted(image)) return DownloadResult::Failed;
    DownloadProgress progress(sink, DownloadDataBytes(image));
    if (progress.StopRequested()) return DownloadResult::Interrupted;

    std::uint16_t downloadChecksum = 0;
    const BeginPayload begin =
        BuildBeginPayload(ReadBeginWord(image), ComputeEndAddress(image));
    DownloadResult result = SendBeginCommand(device, begin.data(), kBeginPayloadSize,
                                             &downloadChecksum, timeoutMs, progress);
    if (result != DownloadResult::Ok) return result;
    // Too short for a segment header: the begin command is the whole download.
    if (image.imageSize < kShortestImageWithSegments) return DownloadResult::Ok;

    WalkSegments(image, [&](const ImageSegment& segment) {
        result = SendSegment(device, segment.loadAddress, segment.data, segment.length,
                             &downloadChecksum, timeoutMs, progress);
        return result == DownloadResult::Ok;
    });
    if (result != DownloadResult::Ok) return result;

    if (progress.StopRequested()) return DownloadResult::Interrupted;
    return SendEndCommand(device, endFlag, downloadChecksum, timeoutMs, progress);
}

}  // namespace fwup
