// DownloadFirmware of an arbitrary image against the simulated device, whose
// transfer outcomes come from the input too. Whatever happens: Ok only when
// the device accepted every command, nothing sent after the first failure,
// the device's own sum agrees with the end command's, every handle closed;
// the data commands sent are the description's, in its order, and the end
// command carries the description's checksum, which is the sum of the bytes
// sent before it.
//
// Input: byte 0 = number of faults (mod 8); then per fault a transfer index
// and a fault kind; then one byte of link settings; the rest is the image.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/little_endian.h"
#include "download/download_protocol.h"
#include "platform/simulation/simulated_device.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// The writes of one command: its header, then one or two payload blocks.
std::size_t WritesOf(const fwup::PipeTransfer& header) {
    return header.bytes.size() == fwup::kCommandHeaderSize &&
                   header.bytes[3] == static_cast<std::uint8_t>(fwup::CommandCode::CmdData)
               ? 3
               : 2;
}

void AddToSum(std::uint16_t& sum, const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) sum = static_cast<std::uint16_t>(sum + byte);
}

// The k-th data command on the wire is the description's k-th: its address
// write, and its data write when that was made.
void RequireDescribed(const fwup::ImageDescription& described, std::size_t k,
                      const fwup::PipeTransfer* address, const fwup::PipeTransfer* data) {
    Require(k < described.dataCommands.size());
    const fwup::DataCommand& command = described.dataCommands[k];
    Require(address->bytes.size() == 4 && fwup::ReadLe32(address->bytes.data()) == command.address);
    if (data == nullptr) return;
    Require(data->bytes.size() == command.length &&
            std::memcmp(data->bytes.data(), command.data, command.length) == 0);
}

bool IsAcceptingReply(const fwup::PipeTransfer& transfer) {
    return !transfer.isWrite && transfer.completed && transfer.bytes.size() >= 2 &&
           transfer.bytes[0] == 0x02 && transfer.bytes[1] == 0x00;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };

    fwup::SimulatedDevice device;
    const int faults = next() % 8;
    for (int i = 0; i < faults; ++i) {
        const std::uint8_t transfer = next();
        const auto kind = static_cast<fwup::TransferFault>(next() % 9);
        if (kind == fwup::TransferFault::ScriptedReply) {
            // A reply of any bytes, as a device that misbehaves may give.
            std::vector<std::uint8_t> reply(next() % 5);
            for (std::uint8_t& byte : reply) byte = next();
            device.InjectReply(transfer, reply);
        } else {
            device.InjectFault(transfer, kind);
        }
    }
    const std::uint8_t settings = next();
    device.commandPipeOpens = (settings & 1) == 0;

    std::vector<std::uint8_t> image(data + at, data + size);  // exact size: overreads are caught
    const fwup::ImageDescription described = fwup::DescribeImage(
        {image.empty() ? nullptr : image.data(), static_cast<std::uint32_t>(image.size())});

    std::optional<fwup::VendorUsbDevice> link = fwup::OpenVendorUsbDevice(device).device;
    Require(link.has_value());
    const fwup::DownloadResult result =
        fwup::DownloadFirmware(*link, settings >> 1, described, fwup::kUpdateTimeoutMs);
    fwup::CloseVendorUsbDevice(link);

    const std::vector<fwup::PipeTransfer>& traffic = device.Traffic();
    // Walk the traffic command by command, as the device frames it: a data
    // block that happens to look like a header is not taken for one.
    std::uint32_t commands = 0;
    std::size_t dataCommands = 0;
    std::uint16_t sumSent = 0;  // of the payloads before the end command
    bool endSent = false;
    for (std::size_t i = 0; i < traffic.size();) {
        const fwup::PipeTransfer& header = traffic[i];
        Require(header.isWrite);
        ++commands;
        endSent = header.bytes.size() > 3 &&
                  header.bytes[3] == static_cast<std::uint8_t>(fwup::CommandCode::CmdEnd);
        const std::size_t end = i + WritesOf(header) + 1;  // and its reply
        // The payload writes that were made: end - 1 is the reply.
        auto payload = [&](std::size_t j) {
            return j < end - 1 && j < traffic.size() ? &traffic[j] : nullptr;
        };
        const fwup::PipeTransfer* first = payload(i + 1);
        const fwup::PipeTransfer* second = payload(i + 2);
        if (endSent && first != nullptr) {
            Require(first->bytes.size() == fwup::kEndPayloadSize);
            Require((first->bytes[0] | first->bytes[1] << 8) == sumSent);
            Require(sumSent == described.checksum);
        } else if (WritesOf(header) == 3 && first != nullptr) {
            RequireDescribed(described, dataCommands++, first, second);
        }
        if (!endSent && first != nullptr) AddToSum(sumSent, first->bytes);
        if (!endSent && second != nullptr) AddToSum(sumSent, second->bytes);
        for (std::size_t j = i; j < end && j < traffic.size(); ++j) {
            Require(traffic[j].isWrite == (j + 1 < end));
            // Every transfer before the last went through and every reply
            // before the last accepted its command: nothing follows a failure.
            if (j + 1 < traffic.size()) {
                Require(traffic[j].completed);
                Require(traffic[j].isWrite || IsAcceptingReply(traffic[j]));
            }
        }
        i = end;
    }
    if (result == fwup::DownloadResult::Ok) {
        Require(!traffic.empty() && IsAcceptingReply(traffic.back()));
        Require(device.AcceptedCommands() == commands);
        // The device accepts the end command only when the sums agree.
        if (endSent) Require(device.FirmwareComplete());
        // Everything described was sent; without an end, the begin alone.
        Require(dataCommands == described.dataCommands.size());
        Require(endSent == described.sendsEndCommand);
    } else if (!traffic.empty()) {
        Require(!IsAcceptingReply(traffic.back()));  // the failure is the last transfer
    }
    // A refused image, or a command pipe that did not open, reaches nothing.
    Require(traffic.empty() == !(described.accepted && device.commandPipeOpens));
    Require(device.ProtocolErrors() == 0);
    Require(device.OpenHandleCount() == 0);
    return 0;
}
