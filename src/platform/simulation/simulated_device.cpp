#include "platform/simulation/simulated_device.h"

#include <algorithm>
#include <cstring>

#include "core/device_model.h"

namespace fwup {
namespace {

constexpr std::uint8_t kStatusRefused = 0x01;
constexpr std::uint8_t kStatusConfused = 0xEE;  // the host broke the framing

// The payload writes the device expects after a header, by their sizes.
std::vector<std::uint32_t> ExpectedBlocks(std::uint8_t code, std::uint32_t length) {
    if (code == kBeginCommandCode && length == kBeginPayloadSize) return {kBeginPayloadSize};
    if (code == kDataCommandCode && length > kLoadAddressSize &&
        length <= kLoadAddressSize + MaxChunkSize)
        return {kLoadAddressSize, length - kLoadAddressSize};
    if (code == kEndCommandCode && length == kEndPayloadSize) return {kEndPayloadSize};
    return {};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void AddBytes(std::uint16_t& sum, const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) sum = static_cast<std::uint16_t>(sum + byte);
}

}  // namespace

SimulatedDevice::SimulatedDevice(DeviceMode startMode) : mode(startMode) {}

void SimulatedDevice::InjectFault(std::uint32_t transferIndex, TransferFault fault) {
    faults_[transferIndex] = fault;
}

void SimulatedDevice::InjectReply(std::uint32_t transferIndex, std::vector<std::uint8_t> reply) {
    faults_[transferIndex] = TransferFault::ScriptedReply;
    scriptedReplies_[transferIndex] = std::move(reply);
}

void SimulatedDevice::StopAnsweringFrom(std::uint32_t transferIndex) {
    silentFrom_ = transferIndex;
}

TransferFault SimulatedDevice::FaultFor(std::uint32_t transferIndex) const {
    if (unplugged_) return TransferFault::Unplugged;
    if (silentFrom_ && transferIndex >= *silentFrom_) return TransferFault::TimeLimit;
    const auto found = faults_.find(transferIndex);
    return found == faults_.end() ? TransferFault::None : found->second;
}

void SimulatedDevice::Pass(std::uint32_t ms) {
    elapsedMs_ += ms;
    if (sleepFor && ms > 0) sleepFor(ms);
}

bool SimulatedDevice::WaitOutLimit(std::uint32_t ms) {
    Pass(ms);
    return !StopRequested();
}

PlatformHandle SimulatedDevice::OpenHandle(HandleKind kind) {
    const PlatformHandle handle = firstHandle + nextHandle_++;
    openHandles_[handle] = kind;
    return handle;
}

bool SimulatedDevice::HandleIs(PlatformHandle handle, HandleKind kind) const {
    const auto found = openHandles_.find(handle);
    return found != openHandles_.end() && found->second == kind;
}

std::vector<UsbDeviceInfo> SimulatedDevice::FindDevices(LinkStatus* status) {
    if (status != nullptr) *status = LinkStatus::Ok;
    if (mode != DeviceMode::VendorMode) return {};
    return {UsbDeviceInfo{usbId, serial}};
}

PlatformHandle SimulatedDevice::Open(const UsbDeviceInfo& device, LinkStatus* why) {
    LinkStatus status = openRefusal;
    if (mode != DeviceMode::VendorMode || device.id != usbId) status = LinkStatus::NotFound;
    else if (status == LinkStatus::Ok && !replyPipeOpens) status = LinkStatus::NotFound;
    if (status != LinkStatus::Ok) {
        if (why != nullptr) *why = status;
        return kInvalidHandleValue;
    }
    if (why != nullptr) *why = LinkStatus::Ok;
    const PlatformHandle link = OpenHandle(HandleKind::Link);
    commandPipeOpen_[link] = commandPipeOpens;
    linkEvents_.push_back("open");
    return link;
}

void SimulatedDevice::ComeBack(DeviceMode into) {
    mode = into;
    expect_ = Expect::Header;  // a fresh start: no command in flight
    commandMalformed_ = false;
    if (into == DeviceMode::VendorMode) firmwareComplete_ = false;
}

void SimulatedDevice::Close(PlatformHandle link) {
    if (!HandleIs(link, HandleKind::Link)) {
        ++protocolErrors_;  // closed twice, or never opened
        return;
    }
    openHandles_.erase(link);
    commandPipeOpen_.erase(link);
    linkEvents_.push_back("close");
}

TransferResult SimulatedDevice::FaultedTransfer(TransferFault fault, PipeTransfer& record,
                                                std::uint32_t timeoutMs) {
    switch (fault) {
    case TransferFault::TimeLimit:
        if (!WaitOutLimit(timeoutMs)) return {LinkStatus::Cancelled, 0};
        return {LinkStatus::TimedOut, 0};
    case TransferFault::Fails: Pass(transferDelayMs); return {LinkStatus::Failed, 0};
    case TransferFault::Stall: Pass(transferDelayMs); return {LinkStatus::Stalled, 0};
    case TransferFault::Unplugged:
        unplugged_ = true;
        mode = DeviceMode::Absent;
        return {LinkStatus::DeviceGone, 0};
    default: record.completed = true; return {LinkStatus::Ok, 0};
    }
}

TransferResult SimulatedDevice::Write(PlatformHandle link, const std::uint8_t* buffer,
                                      std::uint32_t count, std::uint32_t timeoutMs) {
    if (!HandleIs(link, HandleKind::Link)) {
        ++protocolErrors_;
        return {LinkStatus::Failed, 0};
    }
    // The command pipe did not open: the write fails before it reaches the device.
    if (!commandPipeOpen_[link]) return {LinkStatus::NotFound, 0};
    const TransferFault fault = FaultFor(transferIndex_++);
    PipeTransfer record{true, count, std::vector<std::uint8_t>(buffer, buffer + count), false};
    TransferResult result = FaultedTransfer(fault, record, timeoutMs);
    if (record.completed) {
        Pass(transferDelayMs);
        if (expect_ == Expect::Header) TakeHeader(buffer, count);
        else TakePayload(buffer, count);
        result = {LinkStatus::Ok, count};
    }
    Keep(std::move(record));
    return result;
}

void SimulatedDevice::Keep(PipeTransfer record) {
    if (keepTraffic) traffic_.push_back(std::move(record));
}

void SimulatedDevice::TakeHeader(const std::uint8_t* bytes, std::uint32_t count) {
    payloadBlocks_.clear();
    commandMalformed_ = !(count == kCommandHeaderSize && bytes[0] == kCommandMarker[0] &&
                          bytes[1] == kCommandMarker[1] && bytes[2] == kCommandMarker[2]);
    commandCode_ = commandMalformed_ ? 0 : bytes[3];
    payloadLength_ = commandMalformed_ ? 0 : static_cast<std::uint32_t>(bytes[4] | bytes[5] << 8);
    if (!commandMalformed_ && ExpectedBlocks(commandCode_, payloadLength_).empty())
        commandMalformed_ = true;
    if (commandMalformed_) {
        ++protocolErrors_;
        expect_ = Expect::Reply;
        return;
    }
    expect_ = Expect::Payload;
}

void SimulatedDevice::TakePayload(const std::uint8_t* bytes, std::uint32_t count) {
    if (expect_ == Expect::Reply) {  // a write while the device has a reply to give
        if (!commandMalformed_) ++protocolErrors_;
        commandMalformed_ = true;
        return;
    }
    const std::vector<std::uint32_t> expected = ExpectedBlocks(commandCode_, payloadLength_);
    if (count != expected[payloadBlocks_.size()]) {
        ++protocolErrors_;
        commandMalformed_ = true;
        expect_ = Expect::Reply;
        return;
    }
    payloadBlocks_.emplace_back(bytes, bytes + count);
    if (payloadBlocks_.size() == expected.size()) expect_ = Expect::Reply;
}

std::uint8_t SimulatedDevice::CarryOutCommand() {
    if (commandMalformed_) return kStatusConfused;
    // Data and end commands belong to a download that a begin command opened.
    if (commandCode_ != kBeginCommandCode && !begin_) return kStatusRefused;
    ++acceptedCommands_;
    if (commandCode_ == kBeginCommandCode) {
        // A begin command starts a new firmware: what an earlier download
        // left is forgotten.
        begin_ = payloadBlocks_[0];
        received_.clear();
        firmwareComplete_ = false;
        checksum_ = 0;
        AddBytes(checksum_, payloadBlocks_[0]);
    } else if (commandCode_ == kDataCommandCode) {
        AddBytes(checksum_, payloadBlocks_[0]);
        AddBytes(checksum_, payloadBlocks_[1]);
        received_.push_back(HeldBlock{Le32(payloadBlocks_[0]), payloadBlocks_[1]});
    } else {
        const std::uint16_t hostChecksum =
            static_cast<std::uint16_t>(payloadBlocks_[0][0] | payloadBlocks_[0][1] << 8);
        endFlag_ = payloadBlocks_[0][2];
        if (hostChecksum != checksum_) {
            --acceptedCommands_;
            return kStatusRefused;
        }
        firmwareComplete_ = true;
    }
    return kReplyAccepted;
}

TransferResult SimulatedDevice::Read(PlatformHandle link, std::uint8_t* buffer,
                                     std::uint32_t count, std::uint32_t timeoutMs) {
    if (!HandleIs(link, HandleKind::Link)) {
        ++protocolErrors_;
        return {LinkStatus::Failed, 0};
    }
    const std::uint32_t index = transferIndex_++;
    const TransferFault fault = FaultFor(index);
    PipeTransfer record{false, count, {}, false};
    if (expect_ != Expect::Reply && fault != TransferFault::Unplugged) {
        const bool waitedOut = WaitOutLimit(timeoutMs);  // nothing to say yet
        Keep(std::move(record));
        return {waitedOut ? LinkStatus::TimedOut : LinkStatus::Cancelled, 0};
    }
    TransferResult result = FaultedTransfer(fault, record, timeoutMs);
    if (record.completed) {
        Pass(transferDelayMs);
        std::vector<std::uint8_t> reply{kReplyMarker, kReplyAccepted, 0x00, 0x00};
        if (fault == TransferFault::None || fault == TransferFault::ScriptedReply)
            reply[1] = CarryOutCommand();
        if (fault == TransferFault::RejectStatus) reply[1] = kStatusRefused;
        else if (fault == TransferFault::BadReplyMarker) reply[0] = 0x03;
        else if (fault == TransferFault::ShortReply) reply.resize(1);
        else if (fault == TransferFault::ScriptedReply) reply = scriptedReplies_[index];
        const std::uint32_t delivered =
            std::min(static_cast<std::uint32_t>(reply.size()), count);
        if (delivered > 0) std::memcpy(buffer, reply.data(), delivered);
        record.bytes.assign(reply.begin(), reply.begin() + delivered);
        expect_ = Expect::Header;
        result = {LinkStatus::Ok, delivered};
    }
    Keep(std::move(record));
    return result;
}

std::vector<HeldBlock> SimulatedDevice::HeldMemory() const {
    // Later data at an address replaces earlier data there, as in flash
    // written twice within one download.
    std::map<std::uint32_t, std::uint8_t> bytes;
    for (const HeldBlock& block : received_)
        for (std::size_t i = 0; i < block.bytes.size(); ++i)
            bytes[static_cast<std::uint32_t>(block.address + i)] = block.bytes[i];
    std::vector<HeldBlock> runs;
    for (const auto& [address, value] : bytes) {
        if (runs.empty() || runs.back().address + runs.back().bytes.size() != address)
            runs.push_back(HeldBlock{address, {}});
        runs.back().bytes.push_back(value);
    }
    return runs;
}

}  // namespace fwup
