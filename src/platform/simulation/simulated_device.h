#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// A software model of the device, behind the same seams as the real
// backends, for the tests, the tools, the demonstration program and
// --simulate. In vendor mode it reads each command as the device does
// (header, payload writes, then a 4-byte reply), keeps the data it accepted
// at its load addresses, sums the accepted bytes itself and accepts the end
// command only when the host's checksum agrees. It can be told to misbehave
// at any chosen pipe transfer. In storage mode it is one or more volumes
// among other volumes and answers the vendor SCSI commands
// (simulated_storage.cpp).

enum class DeviceMode {
    Absent,       // not plugged in
    VendorMode,   // erased and re-plugged, its vendor driver installed
    StorageMode,  // running its old firmware: volumes among the others
    ErasedAwaitingReplug,  // erased; off the bus until Replug()
};

// What a volume is. Only removable and CD-ROM volumes are candidates.
enum class VolumeKind { Removable, CdRom, Fixed, Network, RamDisk };

struct SimulatedVolume {
    VolumeKind kind = VolumeKind::Removable;
    bool isDevice = false;  // the device's own volume: present in storage mode only
    bool opens = true;      // false: the open is refused, as for want of access rights
};

enum class ScsiFault {
    None,
    PassThroughFails,  // the platform does not carry the request out
    NoSignature,       // the reply begins 55 34; the command is not carried out
    ShortReply,        // carried out, but only deliveredBytes of the reply arrive
    PermissionDenied,  // the system refuses the command to this user
};

struct StorageFault {
    ScsiFault kind = ScsiFault::None;
    std::uint32_t deliveredBytes = 0;  // ShortReply only
};

// One SCSI command that reached a volume, as the host sent it.
struct ScsiRequestRecord {
    std::string volume;
    std::vector<std::uint8_t> cdb;
    DataDirection direction;
    std::uint32_t dataLength;
    std::uint32_t timeLimitSeconds;
};

enum class TransferFault {
    None,
    Fails,           // the transfer fails at once
    TimeLimit,       // nothing happens until the time limit has passed
    Stall,           // the device stalls the pipe
    Unplugged,       // the device leaves the bus: this and every later transfer fail
    ShortReply,      // a read delivers one byte of the reply only
    BadReplyMarker,  // reply byte 0 is not 0x02
    RejectStatus,    // reply byte 1 is not 0: the device refuses the command
    ScriptedReply,   // the device carries the command out, but its reply is the bytes given
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

class SimulatedDevice : public UsbLink, public ScsiDrives {
public:
    static constexpr char kDefaultUsbId[] = "sim-1";

    explicit SimulatedDevice(DeviceMode mode = DeviceMode::VendorMode);

    // --- what the test or demo sets up
    DeviceMode mode;
    std::string usbId = kDefaultUsbId;
    std::string serial;
    LinkStatus openRefusal = LinkStatus::Ok;  // anything else: the open fails so
    bool replyPipeOpens = true;
    bool commandPipeOpens = true;
    std::uint32_t transferDelayMs = 0;               // each transfer takes this long
    std::function<void(std::uint32_t)> sleepFor;     // real waits (demo); none in tests
    PlatformHandle firstHandle = 0x100;              // where its handle numbers start
    bool keepTraffic = true;  // false: Traffic() stays empty, as for a long-running bench
    bool comesBackAfterErase = true;  // false: re-plugged, it never shows in vendor mode

    // The transfer with this index (0 = the first pipe transfer that reaches
    // the device) misbehaves as told. Reply faults apply to reads only.
    void InjectFault(std::uint32_t transferIndex, TransferFault fault);
    // The read with this transfer index delivers exactly these bytes.
    void InjectReply(std::uint32_t transferIndex, std::vector<std::uint8_t> reply);
    // From this transfer on, nothing is answered: every transfer times out.
    void StopAnsweringFrom(std::uint32_t transferIndex);

    // --- what the device ends up with
    const std::vector<PipeTransfer>& Traffic() const { return traffic_; }
    // Pipe transfers that reached the device so far, kept or not.
    std::uint32_t TransfersSoFar() const { return transferIndex_; }
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
    // Links opened on the device and closed again, in order ("open", "close").
    const std::vector<std::string>& LinkEvents() const { return linkEvents_; }

    // --- storage mode: what the test or demo sets up. Volumes are listed in
    // the order of their names.
    std::map<std::string, SimulatedVolume> volumes;
    std::uint16_t firmwareVersion = 0x0240;
    std::uint32_t userId = 0xFFFFFFFF;
    // Every command with this CDB byte 1 (0x10, 0xAA, 0xFF) misbehaves as told.
    void InjectStorageFault(std::uint8_t command, StorageFault fault);
    // Unplugged and plugged in again: an erased device comes up in vendor mode.
    void Replug();
    // Plugged in again after its download, in storage mode (its new firmware
    // runs) or vendor mode (it did not start: it holds no complete firmware).
    void ComeBack(DeviceMode into);

    // --- what the host did in storage mode
    const std::vector<std::string>& VolumeOpenAttempts() const { return openAttempts_; }
    const std::vector<std::string>& VolumeCloses() const { return volumeCloses_; }
    const std::vector<ScsiRequestRecord>& ScsiLog() const { return scsiLog_; }
    // Bytes 0 to 9 of each CDB that reached the volume, in order.
    std::vector<std::vector<std::uint8_t>> CdbsReceivedAt(const std::string& volume) const;
    int MostVolumesOpenAtOnce() const { return mostVolumesOpen_; }
    std::uint32_t EraseCount() const { return eraseCount_; }
    bool OwnsHandle(PlatformHandle handle) const { return openHandles_.count(handle) != 0; }

    // --- UsbLink
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus* status) override;
    PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) override;
    TransferResult Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t timeoutMs) override;
    TransferResult Write(PlatformHandle link, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t timeoutMs) override;
    void Close(PlatformHandle link) override;

    // --- ScsiDrives
    std::vector<VolumeCandidate> FindCandidateVolumes() override;
    PlatformHandle OpenVolume(const VolumeCandidate& volume, DriveStatus* why) override;
    ScsiResult Execute(PlatformHandle volume, const ScsiCommand& command) override;
    void CloseVolume(PlatformHandle volume) override;

    // Opens the named volume: for tests that speak to one volume directly.
    PlatformHandle OpenVolumeNamed(const std::string& name);

private:
    enum class HandleKind { Link, Volume };
    enum class Expect { Header, Payload, Reply };

    PlatformHandle OpenHandle(HandleKind kind);
    bool HandleIs(PlatformHandle handle, HandleKind kind) const;
    void Pass(std::uint32_t ms);
    // Waits out a time limit; false when a stop request came meanwhile (a
    // sleepFor that heeds it returns early).
    bool WaitOutLimit(std::uint32_t ms);
    TransferFault FaultFor(std::uint32_t transferIndex) const;
    void Keep(PipeTransfer record);
    TransferResult FaultedTransfer(TransferFault fault, PipeTransfer& record,
                                   std::uint32_t timeoutMs);
    void TakeHeader(const std::uint8_t* bytes, std::uint32_t count);
    void TakePayload(const std::uint8_t* bytes, std::uint32_t count);
    std::uint8_t CarryOutCommand();  // the reply's status byte

    const SimulatedVolume* PresentVolume(const std::string& name) const;
    int OpenVolumeCount() const;
    // The device's answer to a vendor CDB; empty for a CDB it does not know.
    std::vector<std::uint8_t> CarryOutVendorCommand(const ScsiCommand& command);

    std::map<PlatformHandle, HandleKind> openHandles_;
    std::map<PlatformHandle, bool> commandPipeOpen_;  // by link
    PlatformHandle nextHandle_ = 0;
    std::map<std::uint32_t, TransferFault> faults_;
    std::map<std::uint32_t, std::vector<std::uint8_t>> scriptedReplies_;
    std::optional<std::uint32_t> silentFrom_;
    bool unplugged_ = false;
    std::uint32_t transferIndex_ = 0;
    std::vector<PipeTransfer> traffic_;
    std::vector<std::string> linkEvents_;
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
    std::map<PlatformHandle, std::string> openVolumes_;
    std::map<std::uint8_t, StorageFault> storageFaults_;
    std::vector<std::string> openAttempts_;
    std::vector<std::string> volumeCloses_;
    std::vector<ScsiRequestRecord> scsiLog_;
    int mostVolumesOpen_ = 0;
    std::uint32_t eraseCount_ = 0;
};

}  // namespace fwup
