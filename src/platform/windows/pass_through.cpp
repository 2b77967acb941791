#include "platform/windows/pass_through.h"

#include <cstring>

#include "core/device_model.h"

namespace fwup {
namespace {

constexpr char kFirstDriveLetter = 'C';
constexpr char kLastDriveLetter = 'Z';

}  // namespace

std::vector<char> CandidateDriveLetters(const std::function<DriveType(char)>& typeOf) {
    std::vector<char> letters;
    for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
        const DriveType type = typeOf(letter);
        if (type == DriveType::Removable || type == DriveType::CdRom) letters.push_back(letter);
    }
    return letters;
}

std::string DriveName(char letter) {
    return std::string{letter, ':'};
}

std::string RawVolumePath(char letter) {
    return std::string{"\\\\.\\"} + letter + ':';
}

ScsiPassThroughDirect BuildPassThroughRecord(const ScsiCommand& command) {
    ScsiPassThroughDirect record;
    std::memset(&record, 0, sizeof record);
    record.Length = kScsiPassThroughDirectLength;
    record.TargetId = kVendorTargetId;
    record.CdbLength = command.cdbLength;
    record.DataIn = command.direction == DataDirection::In ? kScsiIoctlDataIn
                                                           : kScsiIoctlDataUnspecified;
    record.DataTransferLength = command.data != nullptr ? command.dataLength : 0;
    record.TimeOutValue = command.timeLimitSeconds;
    record.SenseInfoLength = kSenseBytes;
    record.SenseInfoOffset = kScsiPassThroughDirectLength;
    record.DataBuffer = command.data;
    for (std::uint32_t i = 0; i < command.cdbLength && i < kPassThroughCdbFieldSize; ++i)
        record.Cdb[i] = command.cdb[i];
    return record;
}

ScsiResult PassThroughResult(bool carriedOut, const ScsiPassThroughDirect& record,
                             std::uint32_t asked, const std::uint8_t* sense) {
    ScsiResult result;
    result.carriedOut = carriedOut;
    result.status = carriedOut ? DriveStatus::Ok : DriveStatus::Failed;
    result.scsiStatus = record.ScsiStatus;
    result.bytesMoved = record.DataTransferLength < asked ? record.DataTransferLength : asked;
    // The platform says in SenseInfoLength how much sense it wrote; a GOOD
    // status has none worth reading.
    if (sense != nullptr && record.ScsiStatus != 0) {
        result.sense.length = record.SenseInfoLength < kSenseBytes ? record.SenseInfoLength : kSenseBytes;
        std::memcpy(result.sense.bytes.data(), sense, result.sense.length);
    }
    return result;
}

}  // namespace fwup
