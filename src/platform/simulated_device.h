#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_platform.h"
#include "platform/usb_platform.h"

namespace fwup {

// A software model of the device, behind the same seams as the real
// platform, for the tests and the demo program. In vendor mode it reads each
// command as the device does (header, payload writes, then a 4-byte reply),
// keeps the data it accepted at its load addresses, sums the accepted bytes
// itself and accepts the end command only when the host's checksum agrees.
// It can be told to misbehave at any chosen pipe transfer. In storage mode
// it is one or more volumes among the drive letters and answers the vendor
// SCSI commands (simulated_storage.cpp).

enum class DeviceMode {
    Absent,       // not plugged in
    VendorMode,   // erased and re-plugged, its vendor driver installed
    StorageMode,  // running its old firmware: volumes among the drive letters
    ErasedAwaitingReplug,  // erased; off the bus until Replug()
};

// What a drive letter holds. Fixed, network and RAM disks report "other".
enum class VolumeKind { Removable, CdRom, Fixed, Network, RamDisk };

struct SimulatedVolume {
    VolumeKind kind = VolumeKind::Removable;
    bool isDevice = false;  // the device's own volume: present in storage mode only
    bool opens = true;      // false: the open is refused, as for want of access rights
};

enum class ScsiFault {
    None,
    PassThroughFails,  // the platform call fails; the command is not carried out
    NoSignature,       // the reply begins 55 34; the command is not carried out
    ShortReply,        // carried out, but only deliveredBytes of the reply arrive
};

struct StorageFault {
    ScsiFault kind = ScsiFault::None;
    std::uint32_t deliveredBytes = 0;  // ShortReply only
};

// One pass-through request that reached a volume, as the host filled it.
struct PassThroughRequest {
    char letter;
    ScsiPassThroughDirect record;
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

class SimulatedDevice : public UsbPlatform, public DrivePlatform {
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

    // --- storage mode: what the test or demo sets up
    std::map<char, SimulatedVolume> volumes;  // by upper-case drive letter
    std::uint16_t firmwareVersion = 0x0240;
    std::uint32_t userId = 0xFFFFFFFF;
    // Every command with this CDB byte 1 (0x10, 0xAA, 0xFF) misbehaves as told.
    void InjectStorageFault(std::uint8_t command, StorageFault fault);
    // Unplugged and plugged in again: an erased device comes up in vendor mode.
    void Replug();

    // --- what the host did in storage mode
    const std::vector<char>& DriveTypeQueries() const { return typeQueries_; }
    const std::vector<char>& VolumeOpenAttempts() const { return openAttempts_; }
    const std::vector<char>& VolumeCloses() const { return volumeCloses_; }
    const std::vector<PassThroughRequest>& PassThroughLog() const { return passThroughLog_; }
    // Bytes 0 to 9 of each CDB that reached the letter's volume, in order.
    std::vector<std::vector<std::uint8_t>> CdbsReceivedAt(char letter) const;
    int MostVolumesOpenAtOnce() const { return mostVolumesOpen_; }
    std::uint32_t EraseCount() const { return eraseCount_; }

    // --- UsbPlatform
    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

    // --- DrivePlatform
    DriveType DriveTypeOf(char letter) override;
    PlatformHandle OpenVolume(char letter) override;
    bool PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) override;
    void CloseVolume(PlatformHandle volume) override;

private:
    enum class HandleKind { ReplyPipe, CommandPipe, Volume };
    enum class Expect { Header, Payload, Reply };

    PlatformHandle OpenHandle(HandleKind kind);
    bool HandleIs(PlatformHandle handle, HandleKind kind) const;
    void Pass(std::uint32_t ms);
    TransferFault FaultFor(std::uint32_t transferIndex) const;
    void TakeHeader(const std::uint8_t* bytes, std::uint32_t count);
    void TakePayload(const std::uint8_t* bytes, std::uint32_t count);
    std::uint8_t CarryOutCommand();  // the reply's status byte

    std::vector<std::string> PresentInterfaces() const;

    const SimulatedVolume* PresentVolume(char letter) const;
    int OpenVolumeCount() const;
    // The device's answer to a vendor CDB; empty for a CDB it does not know.
    std::vector<std::uint8_t> CarryOutVendorCommand(const ScsiPassThroughDirect& record);

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

    // Storage mode.
    std::map<PlatformHandle, char> volumeLetters_;
    std::map<std::uint8_t, StorageFault> storageFaults_;
    std::vector<char> typeQueries_;
    std::vector<char> openAttempts_;
    std::vector<char> volumeCloses_;
    std::vector<PassThroughRequest> passThroughLog_;
    int mostVolumesOpen_ = 0;
    std::uint32_t eraseCount_ = 0;
};

}  // namespace fwup
