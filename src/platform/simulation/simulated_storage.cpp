// The simulated device in storage mode: its volumes among the others and its
// answers to the vendor SCSI commands.

#include <algorithm>
#include <cstring>

#include "core/device_model.h"
#include "platform/simulation/simulated_device.h"

namespace fwup {
namespace {

constexpr std::uint8_t kWrongSignature1 = 0x34;
constexpr std::uint8_t kCheckCondition = 0x02;  // SCSI status: the command was refused
constexpr std::uint8_t kGood = 0x00;

bool IsCandidate(VolumeKind kind) {
    return kind == VolumeKind::Removable || kind == VolumeKind::CdRom;
}

const char* Describe(VolumeKind kind) {
    return kind == VolumeKind::CdRom ? "simulated CD-ROM volume" : "simulated removable volume";
}

// A volume that does not know the command: the request is carried out, the
// device refuses it with fixed-format sense ILLEGAL REQUEST, INVALID COMMAND
// OPERATION CODE, nothing is delivered.
ScsiResult RefuseCommand() {
    ScsiResult refused{DriveStatus::Ok, true, kCheckCondition, 0, {}};
    refused.sense.length = 18;
    refused.sense.bytes[0] = 0x70;   // current error, fixed format
    refused.sense.bytes[2] = 0x05;   // ILLEGAL REQUEST
    refused.sense.bytes[7] = 10;     // additional length
    refused.sense.bytes[12] = 0x20;  // INVALID COMMAND OPERATION CODE
    return refused;
}

}  // namespace

void SimulatedDevice::InjectStorageFault(std::uint8_t command, StorageFault fault) {
    storageFaults_[command] = fault;
}

void SimulatedDevice::Replug() {
    if (mode == DeviceMode::ErasedAwaitingReplug && comesBackAfterErase) mode = DeviceMode::VendorMode;
}

std::vector<std::vector<std::uint8_t>> SimulatedDevice::CdbsReceivedAt(
    const std::string& volume) const {
    std::vector<std::vector<std::uint8_t>> cdbs;
    for (const ScsiRequestRecord& request : scsiLog_)
        if (request.volume == volume) cdbs.push_back(request.cdb);
    return cdbs;
}

const SimulatedVolume* SimulatedDevice::PresentVolume(const std::string& name) const {
    const auto found = volumes.find(name);
    if (found == volumes.end()) return nullptr;
    // The device's volumes exist only while it runs its storage firmware.
    if (found->second.isDevice && mode != DeviceMode::StorageMode) return nullptr;
    return &found->second;
}

int SimulatedDevice::OpenVolumeCount() const {
    return static_cast<int>(openVolumes_.size());
}

std::vector<VolumeCandidate> SimulatedDevice::FindCandidateVolumes() {
    std::vector<VolumeCandidate> candidates;
    for (const auto& [name, volume] : volumes)
        if (PresentVolume(name) != nullptr && IsCandidate(volume.kind))
            candidates.push_back(VolumeCandidate{name, Describe(volume.kind),
                                                 volume.isDevice ? usbId : "",
                                                 volume.isDevice ? serial : ""});
    return candidates;
}

PlatformHandle SimulatedDevice::OpenVolume(const VolumeCandidate& candidate, DriveStatus* why) {
    openAttempts_.push_back(candidate.id);
    const SimulatedVolume* volume = PresentVolume(candidate.id);
    const DriveStatus status = volume == nullptr ? DriveStatus::Gone
                               : !volume->opens  ? DriveStatus::NoPermission
                                                 : DriveStatus::Ok;
    if (why != nullptr) *why = status;
    if (status != DriveStatus::Ok) return kInvalidHandleValue;
    const PlatformHandle handle = OpenHandle(HandleKind::Volume);
    openVolumes_[handle] = candidate.id;
    mostVolumesOpen_ = std::max(mostVolumesOpen_, OpenVolumeCount());
    return handle;
}

PlatformHandle SimulatedDevice::OpenVolumeNamed(const std::string& name) {
    return OpenVolume(VolumeCandidate{name, {}, {}}, nullptr);
}

void SimulatedDevice::CloseVolume(PlatformHandle volume) {
    const auto found = openVolumes_.find(volume);
    if (found == openVolumes_.end()) {
        ++protocolErrors_;  // closed twice, or never opened
        return;
    }
    volumeCloses_.push_back(found->second);
    openVolumes_.erase(found);
    openHandles_.erase(volume);
}

std::vector<std::uint8_t> SimulatedDevice::CarryOutVendorCommand(const ScsiCommand& command) {
    if (command.cdbLength != kVendorCdbLength || command.cdb[0] != kVendorOperationCode) return {};
    switch (command.cdb[1]) {
    case kVersionQueryCommand:
        return {kReplySignature0, kReplySignature1,
                static_cast<std::uint8_t>(firmwareVersion >> 8),
                static_cast<std::uint8_t>(firmwareVersion)};
    case kUserIdQueryCommand:
        // Bytes 2 and 3 carry something the host must not mistake for the id.
        return {kReplySignature0, kReplySignature1, 0xAB, 0xCD,
                static_cast<std::uint8_t>(userId >> 24), static_cast<std::uint8_t>(userId >> 16),
                static_cast<std::uint8_t>(userId >> 8), static_cast<std::uint8_t>(userId)};
    case kEraseCommand:
        ++eraseCount_;
        mode = DeviceMode::ErasedAwaitingReplug;
        return {kReplySignature0, kReplySignature1, 0x00, 0x00};
    default:
        return {};
    }
}

ScsiResult SimulatedDevice::Execute(PlatformHandle volume, const ScsiCommand& command) {
    const auto found = openVolumes_.find(volume);
    if (found == openVolumes_.end()) {
        ++protocolErrors_;
        return {};
    }
    const std::string name = found->second;
    scsiLog_.push_back(ScsiRequestRecord{
        name, std::vector<std::uint8_t>(command.cdb, command.cdb + command.cdbLength),
        command.direction, command.dataLength, command.timeLimitSeconds});
    Pass(transferDelayMs);
    // The vendor commands only ever read from the device.
    if (command.direction != DataDirection::In) return {};
    const SimulatedVolume* present = PresentVolume(name);
    if (present == nullptr) return ScsiResult{DriveStatus::Gone, false, 0, 0, {}};
    if (!present->isDevice) return RefuseCommand();

    const auto faultFound = storageFaults_.find(command.cdb[1]);
    const StorageFault fault =
        faultFound == storageFaults_.end() ? StorageFault{} : faultFound->second;
    if (fault.kind == ScsiFault::PassThroughFails) return {};
    if (fault.kind == ScsiFault::PermissionDenied) return {DriveStatus::NoPermission, false, 0, 0, {}};
    std::vector<std::uint8_t> reply;
    if (fault.kind == ScsiFault::NoSignature) {
        reply = {kReplySignature0, kWrongSignature1, 0x00, 0x00};
    } else {
        reply = CarryOutVendorCommand(command);
        if (reply.empty()) return RefuseCommand();
        if (fault.kind == ScsiFault::ShortReply)
            reply.resize(std::min<std::size_t>(reply.size(), fault.deliveredBytes));
    }
    const std::uint32_t delivered =
        std::min(static_cast<std::uint32_t>(reply.size()), command.dataLength);
    if (delivered > 0) std::memcpy(command.data, reply.data(), delivered);
    return ScsiResult{DriveStatus::Ok, true, kGood, delivered, {}};
}

}  // namespace fwup
