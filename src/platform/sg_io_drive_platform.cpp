#include "platform/sg_io_drive_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <tuple>

namespace fwup {

namespace {

constexpr char kFirstDriveLetter = 'C';
constexpr char kLastDriveLetter = 'Z';
constexpr char kScsiTypeCdRom[] = "5";
constexpr std::uint32_t kLongestTimeLimitSeconds = UINT_MAX / 1000;  // SG_IO counts in ms

// The trimmed text of a sysfs attribute; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const std::string& path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    std::string value = text.str();
    const char* blanks = " \t\r\n";
    const std::size_t first = value.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string{};
    return value.substr(first, value.find_last_not_of(blanks) - first + 1);
}

// Where the numbering part of a kernel name starts: after "sd" for disks
// (whose suffix is letters), otherwise at the first digit.
std::size_t SuffixStart(const std::string& name) {
    if (name.rfind("sd", 0) == 0) return 2;
    const std::size_t digit = name.find_first_of("0123456789");
    return digit == std::string::npos ? name.size() : digit;
}

std::vector<std::string> BlockDeviceNames(const std::string& blockDirectory) {
    std::vector<std::string> names;
    DIR* directory = opendir(blockDirectory.c_str());
    if (directory == nullptr) return names;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    closedir(directory);
    return names;
}

bool IsPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace

bool NaturalNameLess(const std::string& a, const std::string& b) {
    const std::size_t aSplit = SuffixStart(a);
    const std::size_t bSplit = SuffixStart(b);
    const std::string_view aPrefix(a.data(), aSplit), bPrefix(b.data(), bSplit);
    const std::string_view aSuffix(a.data() + aSplit, a.size() - aSplit);
    const std::string_view bSuffix(b.data() + bSplit, b.size() - bSplit);
    return std::tuple(aPrefix, aSuffix.size(), aSuffix) <
           std::tuple(bPrefix, bSuffix.size(), bSuffix);
}

std::vector<BlockDeviceCandidate> ListBlockDeviceCandidates(const std::string& sysRoot) {
    std::vector<BlockDeviceCandidate> candidates;
    const std::string blockDirectory = sysRoot + "/block/";
    for (const std::string& name : BlockDeviceNames(blockDirectory)) {
        const std::string base = blockDirectory + name;
        const std::optional<std::string> scsiType = ReadAttribute(base + "/device/type");
        if (!scsiType) continue;  // not a SCSI device
        DriveType type = DriveType::Other;
        if (*scsiType == kScsiTypeCdRom) type = DriveType::CdRom;
        else if (ReadAttribute(base + "/removable") == "1") type = DriveType::Removable;
        if (type == DriveType::Other) continue;
        candidates.push_back(BlockDeviceCandidate{
            name, type, ReadAttribute(base + "/device/vendor").value_or(""),
            ReadAttribute(base + "/device/model").value_or("")});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const BlockDeviceCandidate& a, const BlockDeviceCandidate& b) {
                  return NaturalNameLess(a.name, b.name);
              });
    return candidates;
}

SgIoDrivePlatform::SgIoDrivePlatform(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

SgIoDrivePlatform::~SgIoDrivePlatform() {
    for (const auto& [volume, candidate] : volumes_) close(static_cast<int>(volume));
}

DriveType SgIoDrivePlatform::DriveTypeOf(char letter) {
    // Every search starts at C:, and sees the devices present at that moment;
    // kernel names may change between searches as devices come and go.
    if (letter == kFirstDriveLetter || !listed_) {
        candidates_ = ListBlockDeviceCandidates(sysRoot_);
        listed_ = true;
    }
    const std::optional<BlockDeviceCandidate> candidate = CandidateOf(letter);
    return candidate ? candidate->type : DriveType::Other;
}

std::optional<BlockDeviceCandidate> SgIoDrivePlatform::CandidateOf(char letter) const {
    if (letter < kFirstDriveLetter || letter > kLastDriveLetter) return std::nullopt;
    const auto index = static_cast<std::size_t>(letter - kFirstDriveLetter);
    if (index >= candidates_.size()) return std::nullopt;
    return candidates_[index];
}

std::string SgIoDrivePlatform::DevicePath(const BlockDeviceCandidate& candidate) const {
    return devRoot_ + "/" + candidate.name;
}

std::string SgIoDrivePlatform::DevicePathOf(PlatformHandle volume) const {
    const auto found = volumes_.find(volume);
    return found == volumes_.end() ? std::string{} : DevicePath(found->second);
}

std::optional<BlockDeviceCandidate> SgIoDrivePlatform::CandidateOfVolume(
    PlatformHandle volume) const {
    const auto found = volumes_.find(volume);
    if (found == volumes_.end()) return std::nullopt;
    return found->second;
}

void SgIoDrivePlatform::NoteAccessDenied(const std::string& devicePath) {
    if (accessProblem_ == DriveAccessProblem::None) accessDeniedPath_ = devicePath;
    accessProblem_ = DriveAccessProblem::PermissionDenied;
}

PlatformHandle SgIoDrivePlatform::OpenVolume(char letter) {
    const std::optional<BlockDeviceCandidate> candidate = CandidateOf(letter);
    if (!candidate) return kInvalidHandleValue;
    const std::string path = DevicePath(*candidate);
    // Without O_NONBLOCK a CD-ROM drive without a medium refuses to open; a
    // read-only medium refuses writing, and SG_IO needs no write access.
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EROFS) fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (IsPermissionError(errno)) NoteAccessDenied(path);
        return kInvalidHandleValue;
    }
    const auto volume = static_cast<PlatformHandle>(fd);
    volumes_[volume] = *candidate;
    return volume;
}

bool SgIoDrivePlatform::PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) {
    const auto found = volumes_.find(volume);
    if (found == volumes_.end()) return false;
    // The vendor commands only ever read from the device.
    if (record.DataIn != kScsiIoctlDataIn) return false;
    if (record.CdbLength == 0 || record.CdbLength > kPassThroughCdbFieldSize) return false;
    if (record.DataTransferLength > 0 && record.DataBuffer == nullptr) return false;

    unsigned char sense[32] = {};
    sg_io_hdr_t request;
    std::memset(&request, 0, sizeof request);
    request.interface_id = 'S';
    request.dxfer_direction = record.DataTransferLength > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    request.cmd_len = record.CdbLength;
    request.cmdp = record.Cdb;
    request.dxfer_len = record.DataTransferLength;
    request.dxferp = record.DataBuffer;
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    request.timeout = std::min(record.TimeOutValue, kLongestTimeLimitSeconds) * 1000;

    if (ioctl(static_cast<int>(volume), SG_IO, &request) < 0) {
        // Operation code 0x87 is outside the kernel's list of commands any
        // reader may send: without CAP_SYS_RAWIO the request is refused.
        if (IsPermissionError(errno)) NoteAccessDenied(DevicePath(found->second));
        return false;
    }
    const std::uint32_t resid =
        request.resid > 0 ? static_cast<std::uint32_t>(request.resid) : 0;
    record.ScsiStatus = request.status;
    record.DataTransferLength -= std::min(resid, record.DataTransferLength);
    // The ioctl itself succeeds for a request the device or the bridge
    // aborted or refused: the statuses say whether it was carried out. A
    // reply cut short counts as not carried out, so that the zeros of the
    // cleared buffer never pass for a version or an id.
    return request.status == 0 && request.host_status == 0 && request.driver_status == 0 &&
           resid == 0;
}

void SgIoDrivePlatform::CloseVolume(PlatformHandle volume) {
    const auto found = volumes_.find(volume);
    if (found == volumes_.end()) return;
    close(static_cast<int>(volume));
    volumes_.erase(found);
}

}  // namespace fwup
