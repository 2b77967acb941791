#include "platform/linux/sg_io_scsi_drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <tuple>

namespace fwup {

namespace {

constexpr char kVolumePrefix[] = "/dev/";
constexpr std::uint8_t kLongestCdb = 16;
constexpr char kScsiTypeCdRom[] = "5";
constexpr std::uint32_t kLongestTimeLimitSeconds = UINT_MAX / 1000;  // SG_IO counts in ms
constexpr std::uint16_t kDriverSense = 0x08;  // DRIVER_SENSE: sense data came with the answer

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

// The sysfs folder of the USB device a block device sits on: /sys/block/sdb
// is a link into /sys/devices/.../usb1/1-1/1-1.4/1-1.4:1.0/host6/..., and the
// last component that is a port path names the USB device. Empty off USB.
std::string UsbDeviceFolderOf(const std::string& sysRoot, const std::string& name) {
    char resolved[PATH_MAX] = {};
    if (realpath((sysRoot + "/block/" + name).c_str(), resolved) == nullptr) return {};
    const std::string_view path(resolved);
    std::size_t folderEnd = 0;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, slash - start);
        const std::size_t dash = part.find('-');
        if (dash != 0 && dash != std::string_view::npos &&
            part.find_first_not_of("0123456789-.") == std::string_view::npos)
            folderEnd = slash;
        start = slash + 1;
    }
    return std::string(path.substr(0, folderEnd));
}

}  // namespace

std::string UsbPortOfBlockDevice(const std::string& sysRoot, const std::string& name) {
    const std::string folder = UsbDeviceFolderOf(sysRoot, name);
    return folder.substr(folder.rfind('/') + 1);
}

std::string UsbSerialOfBlockDevice(const std::string& sysRoot, const std::string& name) {
    const std::string folder = UsbDeviceFolderOf(sysRoot, name);
    if (folder.empty()) return {};
    return ReadAttribute(folder + "/serial").value_or("");
}

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
        const bool cdRom = *scsiType == kScsiTypeCdRom;
        if (!cdRom && ReadAttribute(base + "/removable") != "1") continue;
        candidates.push_back(BlockDeviceCandidate{
            name, cdRom, ReadAttribute(base + "/device/vendor").value_or(""),
            ReadAttribute(base + "/device/model").value_or("")});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const BlockDeviceCandidate& a, const BlockDeviceCandidate& b) {
                  return NaturalNameLess(a.name, b.name);
              });
    return candidates;
}

SgIoScsiDrives::SgIoScsiDrives(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

SgIoScsiDrives::~SgIoScsiDrives() {
    for (const auto& [volume, id] : volumes_) close(static_cast<int>(volume));
}

std::vector<VolumeCandidate> SgIoScsiDrives::FindCandidateVolumes() {
    std::vector<VolumeCandidate> volumes;
    for (const BlockDeviceCandidate& candidate : ListBlockDeviceCandidates(sysRoot_)) {
        std::string description = candidate.vendor;
        if (!candidate.model.empty()) description += (description.empty() ? "" : " ") + candidate.model;
        volumes.push_back(VolumeCandidate{kVolumePrefix + candidate.name, description,
                                          UsbPortOfBlockDevice(sysRoot_, candidate.name),
                                          UsbSerialOfBlockDevice(sysRoot_, candidate.name)});
    }
    return volumes;
}

PlatformHandle SgIoScsiDrives::OpenVolume(const VolumeCandidate& volume, DriveStatus* why) {
    DriveStatus status = DriveStatus::Gone;
    int fd = -1;
    if (volume.id.rfind(kVolumePrefix, 0) == 0) {
        const std::string path = devRoot_ + "/" + volume.id.substr(sizeof kVolumePrefix - 1);
        // Without O_NONBLOCK a CD-ROM drive without a medium refuses to open; a
        // read-only medium refuses writing, and SG_IO needs no write access.
        fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == EROFS) fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        status = fd >= 0 ? DriveStatus::Ok
                 : IsPermissionError(errno) ? DriveStatus::NoPermission
                 : errno == ENOENT || errno == ENXIO || errno == ENODEV ? DriveStatus::Gone
                                                                         : DriveStatus::Failed;
    }
    if (why != nullptr) *why = status;
    if (fd < 0) return kInvalidHandleValue;
    const auto handle = static_cast<PlatformHandle>(fd);
    std::lock_guard<std::mutex> hold(lock_);
    volumes_[handle] = volume.id;
    return handle;
}

ScsiResult SgIoScsiDrives::Execute(PlatformHandle volume, const ScsiCommand& command) {
    ScsiResult result;
    if (!IsOpen(volume)) return result;
    if (command.cdbLength == 0 || command.cdbLength > kLongestCdb) return result;
    const bool dataIn = command.direction == DataDirection::In && command.dataLength > 0;
    if (dataIn && command.data == nullptr) return result;

    unsigned char sense[kSenseBytes] = {};
    std::uint8_t cdb[kLongestCdb] = {};
    std::memcpy(cdb, command.cdb, command.cdbLength);
    sg_io_hdr_t request;
    std::memset(&request, 0, sizeof request);
    request.interface_id = 'S';
    request.dxfer_direction = dataIn ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    request.cmd_len = command.cdbLength;
    request.cmdp = cdb;
    request.dxfer_len = dataIn ? command.dataLength : 0;
    request.dxferp = dataIn ? command.data : nullptr;
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    request.timeout = std::min(command.timeLimitSeconds, kLongestTimeLimitSeconds) * 1000;

    if (ioctl(static_cast<int>(volume), SG_IO, &request) < 0) {
        // Operation code 0x87 is outside the kernel's list of commands any
        // reader may send: without CAP_SYS_RAWIO the request is refused.
        result.status = IsPermissionError(errno) ? DriveStatus::NoPermission
                        : errno == ENODEV || errno == ENXIO ? DriveStatus::Gone
                                                            : DriveStatus::Failed;
        return result;
    }
    return SgIoResult(SgIoAnswer{request.status, request.host_status, request.driver_status,
                                 request.resid, request.dxfer_len, request.sb_len_wr},
                      sense);
}

ScsiResult SgIoResult(const SgIoAnswer& answer, const std::uint8_t* sense) {
    ScsiResult result;
    // The ioctl itself succeeds for a request the bridge aborted: only a
    // clean host status and a driver status that says no more than "sense
    // came with it" mean the device answered, whatever its SCSI status.
    result.carriedOut = answer.hostStatus == 0 && (answer.driverStatus & ~kDriverSense) == 0;
    result.status = result.carriedOut ? DriveStatus::Ok : DriveStatus::Failed;
    result.scsiStatus = answer.status;
    const std::uint32_t resid = answer.resid > 0 ? static_cast<std::uint32_t>(answer.resid) : 0;
    result.bytesMoved = answer.dxferLength - std::min(resid, answer.dxferLength);
    if (sense != nullptr) {
        result.sense.length = std::min<std::uint8_t>(answer.senseWritten, kSenseBytes);
        std::memcpy(result.sense.bytes.data(), sense, result.sense.length);
    }
    return result;
}

void SgIoScsiDrives::CloseVolume(PlatformHandle volume) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (volumes_.erase(volume) == 0) return;
    }
    close(static_cast<int>(volume));
}

int SgIoScsiDrives::OpenVolumeCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(volumes_.size());
}

bool SgIoScsiDrives::IsOpen(PlatformHandle volume) const {
    std::lock_guard<std::mutex> hold(lock_);
    return volumes_.count(volume) != 0;
}

}  // namespace fwup
