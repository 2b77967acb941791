#include "platform/simulated_device.h"

#include <algorithm>
#include <cstring>

namespace fwup {
namespace {

constexpr std::uint8_t kCmdBegin = 0x01;
constexpr std::uint8_t kCmdData = 0x02;
constexpr std::uint8_t kCmdEnd = 0x08;
constexpr std::uint8_t kStatusAccepted = 0x00;
constexpr std::uint8_t kStatusRefused = 0x01;
constexpr std::uint8_t kStatusConfused = 0xEE;  // the host broke the framing
constexpr std::uint32_t kMaxDataPiece = 4096;

// The payload writes the device expects after a header, by their sizes.
std::vector<std::uint32_t> ExpectedBlocks(std::uint8_t code, std::uint32_t length) {
    if (code == kCmdBegin && length == 32) return {32};
    if (code == kCmdData && length > 4 && length <= 4 + kMaxDataPiece) return {4, length - 4};
    if (code == kCmdEnd && length == 3) return {3};
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

void SimulatedDevice::StopAnsweringFrom(std::uint32_t transferIndex) {
    silentFrom_ = transferIndex;
}

TransferFault SimulatedDevice::FaultFor(std::uint32_t transferIndex) const {
    if (silentFrom_ && transferIndex >= *silentFrom_) return TransferFault::TimeLimit;
    const auto found = faults_.find(transferIndex);
    return found == faults_.end() ? TransferFault::None : found->second;
}

void SimulatedDevice::Pass(std::uint32_t ms) {
    elapsedMs_ += ms;
    if (sleepFor && ms > 0) sleepFor(ms);
}

std::vector<std::string> SimulatedDevice::PresentInterfaces() const {
    std::vector<std::string> present = otherInterfaces;
    if (mode == DeviceMode::VendorMode) present.push_back(devicePath);
    return present;
}

bool SimulatedDevice::GetDeviceInterfacePath(const InterfaceClass& /*interfaceClass*/,
                                             std::uint32_t memberIndex, char* path,
                                             std::uint32_t capacity) {
    const std::vector<std::string> present = PresentInterfaces();
    if (memberIndex >= present.size()) return false;
    const std::string& found = present[memberIndex];
    // The same fit test as the platform's: size field, path and zero.
    const std::uint64_t required = 4 + found.size() + 1;
    if (capacity < required) return false;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return true;
}

PlatformHandle SimulatedDevice::OpenHandle(HandleKind kind) {
    const PlatformHandle handle = nextHandle_++;
    openHandles_[handle] = kind;
    return handle;
}

bool SimulatedDevice::HandleIs(PlatformHandle handle, HandleKind kind) const {
    const auto found = openHandles_.find(handle);
    return found != openHandles_.end() && found->second == kind;
}

PlatformHandle SimulatedDevice::OpenPipe(const char* pipePath) {
    if (mode != DeviceMode::VendorMode) return kInvalidHandleValue;
    const std::string path = pipePath;
    if (path == devicePath + "\\PIPE00" && replyPipeOpens) return OpenHandle(HandleKind::ReplyPipe);
    if (path == devicePath + "\\PIPE01" && commandPipeOpens)
        return OpenHandle(HandleKind::CommandPipe);
    return kInvalidHandleValue;
}

void SimulatedDevice::ClosePipe(PlatformHandle pipe) {
    if (openHandles_.erase(pipe) == 0) ++protocolErrors_;  // closed twice, or never opened
}

bool SimulatedDevice::WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                                    std::uint32_t count, std::uint32_t* transferred,
                                    std::uint32_t timeoutMs) {
    *transferred = 0;
    if (!HandleIs(pipe, HandleKind::CommandPipe)) {
        ++protocolErrors_;
        return false;
    }
    const TransferFault fault = FaultFor(transferIndex_++);
    PipeTransfer record{true, count, std::vector<std::uint8_t>(buffer, buffer + count), false};
    if (fault == TransferFault::TimeLimit) {
        Pass(timeoutMs);
    } else if (fault == TransferFault::Fails) {
        Pass(transferDelayMs);
    } else {
        Pass(transferDelayMs);
        if (expect_ == Expect::Header) TakeHeader(buffer, count);
        else TakePayload(buffer, count);
        record.completed = true;
        *transferred = count;
    }
    traffic_.push_back(std::move(record));
    return traffic_.back().completed;
}

void SimulatedDevice::TakeHeader(const std::uint8_t* bytes, std::uint32_t count) {
    payloadBlocks_.clear();
    commandMalformed_ = !(count == 6 && bytes[0] == 0xEF && bytes[1] == 0x01 && bytes[2] == 0x02);
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
    if (commandCode_ != kCmdBegin && !begin_) return kStatusRefused;
    ++acceptedCommands_;
    if (commandCode_ == kCmdBegin) {
        // A begin command starts a new firmware: what an earlier download
        // left is forgotten.
        begin_ = payloadBlocks_[0];
        received_.clear();
        firmwareComplete_ = false;
        checksum_ = 0;
        AddBytes(checksum_, payloadBlocks_[0]);
    } else if (commandCode_ == kCmdData) {
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
    return kStatusAccepted;
}

bool SimulatedDevice::ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                                   std::uint32_t* transferred, std::uint32_t timeoutMs) {
    *transferred = 0;
    if (!HandleIs(pipe, HandleKind::ReplyPipe)) {
        ++protocolErrors_;
        return false;
    }
    const TransferFault fault = FaultFor(transferIndex_++);
    PipeTransfer record{false, count, {}, false};
    if (fault == TransferFault::TimeLimit || expect_ != Expect::Reply) {
        Pass(timeoutMs);  // silent, or nothing to say yet
    } else if (fault == TransferFault::Fails) {
        Pass(transferDelayMs);
    } else {
        Pass(transferDelayMs);
        std::uint8_t reply[4] = {0x02, kStatusAccepted, 0x00, 0x00};
        std::uint32_t delivered = 4;
        if (fault == TransferFault::None) reply[1] = CarryOutCommand();
        else if (fault == TransferFault::RejectStatus) reply[1] = kStatusRefused;
        else if (fault == TransferFault::BadReplyMarker) reply[0] = 0x03;
        else if (fault == TransferFault::ShortReply) delivered = 1;
        delivered = std::min(delivered, count);
        std::memcpy(buffer, reply, delivered);
        record.bytes.assign(reply, reply + delivered);
        record.completed = true;
        *transferred = delivered;
        expect_ = Expect::Header;
    }
    traffic_.push_back(std::move(record));
    return traffic_.back().completed;
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
