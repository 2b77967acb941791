// The simulated device in storage mode: its volumes among the drive letters
// and its answers to the vendor SCSI commands. The device reads the CDB by
// itself, with its own constants, so that a mistake on the host's side shows.

#include <algorithm>
#include <cstring>

#include "platform/simulated_device.h"

namespace fwup {
namespace {

constexpr std::uint8_t kVendorOperation = 0x87;
constexpr std::uint8_t kVersionQuery = 0x10;
constexpr std::uint8_t kUserIdQuery = 0xAA;
constexpr std::uint8_t kErase = 0xFF;
constexpr std::uint8_t kSignature0 = 0x55;
constexpr std::uint8_t kSignature1 = 0x33;
constexpr std::uint8_t kWrongSignature1 = 0x34;
constexpr std::uint8_t kCheckCondition = 0x02;  // SCSI status: the command was refused
constexpr std::uint8_t kGood = 0x00;

DriveType TypeOfKind(VolumeKind kind) {
    switch (kind) {
    case VolumeKind::Removable: return DriveType::Removable;
    case VolumeKind::CdRom: return DriveType::CdRom;
    default: return DriveType::Other;
    }
}

// A drive that does not know the command: the request is carried out, the
// device refuses it, nothing is delivered.
bool RefuseCommand(ScsiPassThroughDirect& record) {
    record.ScsiStatus = kCheckCondition;
    record.DataTransferLength = 0;
    return true;
}

}  // namespace

void SimulatedDevice::InjectStorageFault(std::uint8_t command, StorageFault fault) {
    storageFaults_[command] = fault;
}

void SimulatedDevice::Replug() {
    if (mode == DeviceMode::ErasedAwaitingReplug) mode = DeviceMode::VendorMode;
}

std::vector<std::vector<std::uint8_t>> SimulatedDevice::CdbsReceivedAt(char letter) const {
    std::vector<std::vector<std::uint8_t>> cdbs;
    for (const PassThroughRequest& request : passThroughLog_)
        if (request.letter == letter)
            cdbs.emplace_back(request.record.Cdb, request.record.Cdb + 10);
    return cdbs;
}

const SimulatedVolume* SimulatedDevice::PresentVolume(char letter) const {
    const auto found = volumes.find(letter);
    if (found == volumes.end()) return nullptr;
    // The device's volumes exist only while it runs its storage firmware.
    if (found->second.isDevice && mode != DeviceMode::StorageMode) return nullptr;
    return &found->second;
}

int SimulatedDevice::OpenVolumeCount() const {
    return static_cast<int>(volumeLetters_.size());
}

DriveType SimulatedDevice::DriveTypeOf(char letter) {
    typeQueries_.push_back(letter);
    const SimulatedVolume* volume = PresentVolume(letter);
    return volume == nullptr ? DriveType::Other : TypeOfKind(volume->kind);
}

PlatformHandle SimulatedDevice::OpenVolume(char letter) {
    openAttempts_.push_back(letter);
    const SimulatedVolume* volume = PresentVolume(letter);
    if (volume == nullptr || !volume->opens) return kInvalidHandleValue;
    const PlatformHandle handle = OpenHandle(HandleKind::Volume);
    volumeLetters_[handle] = letter;
    mostVolumesOpen_ = std::max(mostVolumesOpen_, OpenVolumeCount());
    return handle;
}

void SimulatedDevice::CloseVolume(PlatformHandle volume) {
    const auto found = volumeLetters_.find(volume);
    if (found == volumeLetters_.end()) {
        ++protocolErrors_;  // closed twice, or never opened
        return;
    }
    volumeCloses_.push_back(found->second);
    volumeLetters_.erase(found);
    openHandles_.erase(volume);
}

std::vector<std::uint8_t> SimulatedDevice::CarryOutVendorCommand(
    const ScsiPassThroughDirect& record) {
    if (record.CdbLength != 10 || record.Cdb[0] != kVendorOperation) return {};
    switch (record.Cdb[1]) {
    case kVersionQuery:
        return {kSignature0, kSignature1, static_cast<std::uint8_t>(firmwareVersion >> 8),
                static_cast<std::uint8_t>(firmwareVersion)};
    case kUserIdQuery:
        // Bytes 2 and 3 carry something the host must not mistake for the id.
        return {kSignature0, kSignature1, 0xAB, 0xCD,
                static_cast<std::uint8_t>(userId >> 24), static_cast<std::uint8_t>(userId >> 16),
                static_cast<std::uint8_t>(userId >> 8), static_cast<std::uint8_t>(userId)};
    case kErase:
        ++eraseCount_;
        mode = DeviceMode::ErasedAwaitingReplug;
        return {kSignature0, kSignature1, 0x00, 0x00};
    default:
        return {};
    }
}

bool SimulatedDevice::PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) {
    const auto found = volumeLetters_.find(volume);
    if (found == volumeLetters_.end()) {
        ++protocolErrors_;
        return false;
    }
    const char letter = found->second;
    passThroughLog_.push_back(PassThroughRequest{letter, record});
    Pass(transferDelayMs);
    // The platform refuses a record of the wrong size, or data flowing out.
    if (record.Length != kScsiPassThroughDirectLength || record.DataIn != kScsiIoctlDataIn)
        return false;
    const SimulatedVolume* present = PresentVolume(letter);
    if (present == nullptr) return false;  // the volume has gone
    if (!present->isDevice) return RefuseCommand(record);

    const auto faultFound = storageFaults_.find(record.Cdb[1]);
    const StorageFault fault = faultFound == storageFaults_.end() ? StorageFault{} : faultFound->second;
    if (fault.kind == ScsiFault::PassThroughFails) return false;
    std::vector<std::uint8_t> reply;
    if (fault.kind == ScsiFault::NoSignature) {
        reply = {kSignature0, kWrongSignature1, 0x00, 0x00};
    } else {
        reply = CarryOutVendorCommand(record);
        if (reply.empty()) return RefuseCommand(record);
        if (fault.kind == ScsiFault::ShortReply)
            reply.resize(std::min<std::size_t>(reply.size(), fault.deliveredBytes));
    }
    const std::uint32_t delivered =
        std::min(static_cast<std::uint32_t>(reply.size()), record.DataTransferLength);
    if (delivered > 0) std::memcpy(record.DataBuffer, reply.data(), delivered);
    record.DataTransferLength = delivered;
    record.ScsiStatus = kGood;
    return true;
}

}  // namespace fwup
