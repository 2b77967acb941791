#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_platform.h"

namespace fwup {

// A software model of the device, behind the same seams as the real
// platform, for the tests and the demo program. In vendor mode it reads each
// command as the device does (header, payload writes, then a 4-byte reply),
// keeps the data it accepted at its load addresses, sums the accepted bytes
// itself and accepts the end command only when the host's checksum agrees.
// It can be told to misbehave at any chosen pipe transfer.

enum class DeviceMode {
    Absent,       // not plugged in
    VendorMode,   // erased and re-plugged, its vendor driver installed
};

enum class TransferFault {
    None,
    Fails,           // the transfer fails at once
    TimeLimit,       // nothing happens until the time limit has passed
    ShortReply,      // a read delivers one byte of the reply only
    BadReplyMarker,  // reply byte 0 is not 0x02
    RejectStatus,    // reply byte 1 is not 0: the device refuses the command
};

// One pipe transfer that reached the device, in order.
struct PipeTransfer {
    bool isWrite;
    std::uint32_t count;               // bytes asked for
    std::vector<std::uint8_t> bytes;   // written, or delivered by a read
    bool completed;
};

// A run of bytes the device holds at its addresses.
struct HeldBlock {
    std::uint32_t address;
    std::vector<std::uint8_t> bytes;
};

class SimulatedDevice : public UsbPlatform {
public:
    static constexpr char kDefaultDevicePath[] =
        "\\\\?\\usb#vid_2008&pid_7639#5&2f3a7c1d&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

    explicit SimulatedDevice(DeviceMode mode = DeviceMode::VendorMode);

    // --- what the test or demo sets up
    DeviceMode mode;
    std::string devicePath = kDefaultDevicePath;
    std::vector<std::string> otherInterfaces;  // enumerated before the device
    bool replyPipeOpens = true;
    bool commandPipeOpens = true;
    std::uint32_t transferDelayMs = 0;               // each transfer takes this long
    std::function<void(std::uint32_t)> sleepFor;     // real waits (demo); none in tests

    // The transfer with this index (0 = the first pipe transfer that reaches
    // the device) misbehaves as told. Reply faults apply to reads only.
    void InjectFault(std::uint32_t transferIndex, TransferFault fault);
    // From this transfer on, nothing is answered: every transfer times out.
    void StopAnsweringFrom(std::uint32_t transferIndex);

    // --- what the device ends up with
    const std::vector<PipeTransfer>& Traffic() const { return traffic_; }
    // Accepted data merged into contiguous runs, in address order.
    std::vector<HeldBlock> HeldMemory() const;
    std::optional<std::vector<std::uint8_t>> ReceivedBeginPayload() const { return begin_; }
    bool FirmwareComplete() const { return firmwareComplete_; }
    std::uint8_t ReceivedEndFlag() const { return endFlag_; }
    std::uint16_t OwnChecksum() const { return checksum_; }
    std::uint32_t AcceptedCommands() const { return acceptedCommands_; }
    std::uint32_t ProtocolErrors() const { return protocolErrors_; }
    std::uint64_t ElapsedMs() const { return elapsedMs_; }
    int OpenHandleCount() const { return static_cast<int>(openHandles_.size()); }

    // --- UsbPlatform
    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

private:
    enum class HandleKind { ReplyPipe, CommandPipe };
    enum class Expect { Header, Payload, Reply };

    PlatformHandle OpenHandle(HandleKind kind);
    bool HandleIs(PlatformHandle handle, HandleKind kind) const;
    void Pass(std::uint32_t ms);
    TransferFault FaultFor(std::uint32_t transferIndex) const;
    void TakeHeader(const std::uint8_t* bytes, std::uint32_t count);
    void TakePayload(const std::uint8_t* bytes, std::uint32_t count);
    std::uint8_t CarryOutCommand();  // the reply's status byte

    std::vector<std::string> PresentInterfaces() const;

    std::map<PlatformHandle, HandleKind> openHandles_;
    PlatformHandle nextHandle_ = 0x100;
    std::map<std::uint32_t, TransferFault> faults_;
    std::optional<std::uint32_t> silentFrom_;
    std::uint32_t transferIndex_ = 0;
    std::vector<PipeTransfer> traffic_;
    std::uint64_t elapsedMs_ = 0;

    // The vendor firmware's view of the command in flight.
    Expect expect_ = Expect::Header;
    bool commandMalformed_ = false;
    std::uint8_t commandCode_ = 0;
    std::uint32_t payloadLength_ = 0;
    std::vector<std::vector<std::uint8_t>> payloadBlocks_;

    std::vector<HeldBlock> received_;
    std::optional<std::vector<std::uint8_t>> begin_;
    std::uint16_t checksum_ = 0;
    std::uint8_t endFlag_ = 0;
    bool firmwareComplete_ = false;
    std::uint32_t acceptedCommands_ = 0;
    std::uint32_t protocolErrors_ = 0;
};

}  // namespace fwup
