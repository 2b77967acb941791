#include "download/download_protocol.h"

#include <array>
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
                               DownloadResult rejection, std::uint32_t timeoutMs,
                               ProgressSink& sink) {
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
    } else if (device.lastStatus == LinkStatus::Cancelled) {
        result = DownloadResult::Interrupted;  // called back on the caller's request
    }
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

}  // namespace

DownloadResult SendBeginCommand(VendorUsbDevice& device, const std::uint8_t* payload,
                                std::uint16_t payloadLength, std::uint32_t timeoutMs,
                                ProgressSink& sink) {
    return ExchangeCommand(device, CommandCode::CmdBegin, {{payload, payloadLength}},
                           DownloadResult::BeginRejected, timeoutMs, sink);
}

DownloadResult SendDataCommand(VendorUsbDevice& device, std::uint32_t loadAddress,
                               const std::uint8_t* data, std::uint32_t length,
                               std::uint32_t timeoutMs, ProgressSink& sink) {
    if (length == 0 || length > MaxChunkSize) return DownloadResult::Failed;
    std::array<std::uint8_t, kLoadAddressSize> address{};
    StoreLe32(address.data(), loadAddress);
    return ExchangeCommand(device, CommandCode::CmdData,
                           {{address.data(), kLoadAddressSize}, {data, length}},
                           DownloadResult::DataRejected, timeoutMs, sink);
}

DownloadResult SendEndCommand(VendorUsbDevice& device, std::uint32_t endFlag,
                              std::uint16_t checksum, std::uint32_t timeoutMs,
                              ProgressSink& sink) {
    std::array<std::uint8_t, kEndPayloadSize> payload{};
    StoreLe16(payload.data(), checksum);
    payload[2] = static_cast<std::uint8_t>(endFlag);
    return ExchangeCommand(device, CommandCode::CmdEnd, {{payload.data(), kEndPayloadSize}},
                           DownloadResult::EndRejected, timeoutMs, sink);
}

DownloadResult DownloadFirmware(VendorUsbDevice& device, std::uint32_t endFlag,
                                const ImageDescription& image, std::uint32_t timeoutMs,
                                ProgressSink& sink) {
    if (!image.accepted) return DownloadResult::Failed;
    DownloadProgress progress(sink, image.dataBytes);
    if (progress.StopRequested()) return DownloadResult::Interrupted;
    DownloadResult result = SendBeginCommand(device, image.beginPayload.data(),
                                             kBeginPayloadSize, timeoutMs, progress);
    if (result != DownloadResult::Ok || !image.sendsEndCommand) return result;
    for (const DataCommand& command : image.dataCommands) {
        if (progress.StopRequested()) return DownloadResult::Interrupted;
        result = SendDataCommand(device, command.address, command.data, command.length,
                                 timeoutMs, progress);
        if (result != DownloadResult::Ok) return result;
    }
    if (progress.StopRequested()) return DownloadResult::Interrupted;
    // Every command before it was accepted: the device has summed them all.
    return SendEndCommand(device, endFlag, image.checksum, timeoutMs, progress);
}

}  // namespace fwup
