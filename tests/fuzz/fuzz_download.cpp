// DownloadFirmware of an arbitrary image against the simulated device, whose
// transfer outcomes come from the input too. Whatever happens: Ok only when
// the device accepted every command, nothing sent after the first failure,
// the device's own sum agrees with the end command's, every handle closed.
//
// Input: byte 0 = number of faults (mod 8); then per fault a transfer index
// and a fault kind; then one byte of link settings; the rest is the image.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "download/download_protocol.h"
#include "platform/simulated_device.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool IsCommandHeader(const fwup::PipeTransfer& transfer) {
    return transfer.isWrite && transfer.bytes.size() == fwup::kCommandHeaderSize &&
           transfer.bytes[0] == 0xEF && transfer.bytes[1] == 0x01 && transfer.bytes[2] == 0x02;
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
        const auto kind = static_cast<fwup::TransferFault>(next() % 6);
        device.InjectFault(transfer, kind);
    }
    const std::uint8_t settings = next();
    device.commandPipeOpens = (settings & 1) == 0;

    std::vector<std::uint8_t> image(data + at, data + size);  // exact size: overreads are caught
    const fwup::FirmwareImage view{image.empty() ? nullptr : image.data(),
                                   static_cast<std::uint32_t>(image.size())};

    std::optional<fwup::VendorUsbDevice> link = fwup::OpenVendorUsbDevice(device);
    Require(link.has_value());
    const fwup::DownloadResult result =
        fwup::DownloadFirmware(*link, settings >> 1, view, fwup::kUpdateTimeoutMs);
    fwup::CloseVendorUsbDevice(link);

    const std::vector<fwup::PipeTransfer>& traffic = device.Traffic();
    std::uint32_t commands = 0;
    bool endSent = false;
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        const fwup::PipeTransfer& transfer = traffic[i];
        if (IsCommandHeader(transfer)) {
            ++commands;
            endSent = transfer.bytes[3] == 0x08;
        }
        // Every transfer before the last went through and every reply before
        // the last accepted its command: nothing follows a failure.
        if (i + 1 < traffic.size()) {
            Require(transfer.completed);
            Require(transfer.isWrite || IsAcceptingReply(transfer));
        }
    }
    if (result == fwup::DownloadResult::Ok) {
        Require(!traffic.empty() && IsAcceptingReply(traffic.back()));
        Require(device.AcceptedCommands() == commands);
        // The device accepts the end command only when the sums agree.
        if (endSent) Require(device.FirmwareComplete());
    } else if (!traffic.empty()) {
        Require(!IsAcceptingReply(traffic.back()));  // the failure is the last transfer
    }
    // A refused image, or a command pipe that did not open, reaches nothing.
    Require(traffic.empty() == !(fwup::IsImageAccepted(view) && device.commandPipeOpens));
    Require(device.ProtocolErrors() == 0);
    Require(device.OpenHandleCount() == 0);
    return 0;
}
