#include "linux/emulated_scsi_drive.h"
#include "linux/umockdev_testbed.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <stdexcept>


namespace fwup::test {

namespace {

constexpr std::uint8_t kCheckCondition = 0x02;
constexpr unsigned short kDidAbort = 0x05;
constexpr unsigned short kDidNoConnect = 0x01;
constexpr unsigned short kDriverSense = 0x08;

std::string AddDevice(UMockdevTestbed* testbed, const char* subsystem, const std::string& name,
                      const std::string& parent, const std::vector<std::string>& attributes,
                      const std::vector<std::string>& properties) {
    std::vector<gchar*> attributeList, propertyList;
    for (const std::string& item : attributes) attributeList.push_back(const_cast<gchar*>(item.c_str()));
    for (const std::string& item : properties) propertyList.push_back(const_cast<gchar*>(item.c_str()));
    attributeList.push_back(nullptr);
    propertyList.push_back(nullptr);
    gchar* path = umockdev_testbed_add_devicev(testbed, subsystem, name.c_str(),
                                               parent.empty() ? nullptr : parent.c_str(),
                                               attributeList.data(), propertyList.data());
    if (path == nullptr) throw std::runtime_error("umockdev refused " + name);
    std::string result = path;
    g_free(path);
    return result;
}

// Fixed-format sense data: ILLEGAL REQUEST, invalid command operation code.
void WriteIllegalRequestSense(UMockdevIoctlData* sense, sg_io_hdr_t& request) {
    if (sense == nullptr || request.mx_sb_len < 14) return;
    std::memset(sense->data, 0, request.mx_sb_len);
    sense->data[0] = 0x70;
    sense->data[2] = 0x05;
    sense->data[7] = 6;
    sense->data[12] = 0x20;
    request.sb_len_wr = 14;
}

}  // namespace

EmulatedScsiDrive::EmulatedScsiDrive(UMockdevTestbed* testbed, const std::string& name,
                                     int scsiType, bool removable, SimulatedDevice& firmware,
                                     const std::string& simulatedVolume)
    : testbed_(testbed), name_(name), firmware_(firmware) {
    static int nextHost = 2;
    const std::string host = std::to_string(nextHost++);
    scsiPath_ = AddDevice(testbed, "scsi", "host" + host + "/target" + host + ":0:0/" + host + ":0:0:0",
                          "",
                          {"type", std::to_string(scsiType) + "\n", "vendor", "EMULATED\n", "model",
                           "DRIVE " + name + "\n"},
                          {"DEVTYPE", "scsi_device"});
    devnode_ = "/dev/" + name;
    blockPath_ = AddDevice(testbed, "block", name, scsiPath_,
                           {"removable", removable ? "1\n" : "0\n"},
                           {"DEVNAME", devnode_, "DEVTYPE", "disk"});
    // The kernel links a block device to its SCSI device; umockdev does not.
    umockdev_testbed_set_attribute_link(testbed, blockPath_.c_str(), "device", "..");

    CreateDeviceNode(devnode_);

    volume_ = firmware_.OpenVolumeNamed(simulatedVolume);
    handler_ = AttachIoctlHandler(devnode_, G_CALLBACK(OnIoctl), this);
    g_signal_connect(handler_, "client-connected", G_CALLBACK(OnConnected), this);
}

EmulatedScsiDrive::~EmulatedScsiDrive() {
    umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
    RemoveBlockDevice(blockPath_, name_);
    umockdev_testbed_remove_device(testbed_, scsiPath_.c_str());
    RemoveDeviceNode(devnode_);
    g_object_unref(handler_);
    if (volume_ != kInvalidHandleValue) firmware_.CloseVolume(volume_);
}

void EmulatedScsiDrive::FailWith(SgFault fault) {
    std::lock_guard<std::mutex> guard(lock_);
    fault_ = fault;
}

std::vector<SgRequest> EmulatedScsiDrive::Requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

int EmulatedScsiDrive::Opens() {
    std::lock_guard<std::mutex> guard(lock_);
    return opens_;
}

void EmulatedScsiDrive::OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer self) {
    auto* drive = static_cast<EmulatedScsiDrive*>(self);
    std::lock_guard<std::mutex> guard(drive->lock_);
    ++drive->opens_;
}

gboolean EmulatedScsiDrive::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
    auto* drive = static_cast<EmulatedScsiDrive*>(self);
    if (umockdev_ioctl_client_get_request(client) != SG_IO) {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    std::lock_guard<std::mutex> guard(drive->lock_);
    drive->AnswerSgIo(client);
    return TRUE;
}

void EmulatedScsiDrive::AnswerSgIo(UMockdevIoctlClient* client) {
    GError* error = nullptr;
    UMockdevIoctlData* header =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(sg_io_hdr_t), &error);
    if (header == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    auto* request = reinterpret_cast<sg_io_hdr_t*>(header->data);
    UMockdevIoctlData* cdb = umockdev_ioctl_data_resolve(header, offsetof(sg_io_hdr_t, cmdp),
                                                         request->cmd_len, &error);
    UMockdevIoctlData* data = request->dxfer_len == 0 ? nullptr
        : umockdev_ioctl_data_resolve(header, offsetof(sg_io_hdr_t, dxferp), request->dxfer_len, &error);
    UMockdevIoctlData* sense = request->mx_sb_len == 0 ? nullptr
        : umockdev_ioctl_data_resolve(header, offsetof(sg_io_hdr_t, sbp), request->mx_sb_len, &error);
    g_clear_error(&error);
    if (cdb == nullptr || (request->dxfer_len > 0 && data == nullptr)) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
    } else {
        requests_.push_back(SgRequest{std::vector<std::uint8_t>(cdb->data, cdb->data + request->cmd_len),
                                      request->dxfer_direction, request->dxfer_len, request->timeout});
        if (fault_ == SgFault::PermissionDenied) {
            umockdev_ioctl_client_complete(client, -1, EPERM);
        } else {
            if (fault_ == SgFault::BridgeAbort) {
                request->host_status = kDidAbort;
                request->status = kCheckCondition;
                request->driver_status = kDriverSense;
                WriteIllegalRequestSense(sense, *request);
            } else {
                ScsiCommand command;
                command.cdb = cdb->data;
                command.cdbLength = static_cast<std::uint8_t>(std::min<unsigned>(request->cmd_len, 16));
                command.direction = request->dxfer_direction == SG_DXFER_FROM_DEV
                                        ? DataDirection::In
                                        : DataDirection::None;
                command.data = data != nullptr ? data->data : nullptr;
                command.dataLength = request->dxfer_len;
                command.timeLimitSeconds = request->timeout / 1000;
                const ScsiResult result = firmware_.Execute(volume_, command);
                if (!result.carriedOut) {
                    request->host_status = kDidNoConnect;  // the volume has gone
                } else {
                    request->status = result.scsiStatus;
                    request->resid = static_cast<int>(request->dxfer_len - result.bytesMoved);
                    if (result.scsiStatus == kCheckCondition) {
                        request->driver_status = kDriverSense;
                        WriteIllegalRequestSense(sense, *request);
                    }
                }
            }
            const bool good = request->status == 0 && request->host_status == 0 &&
                              request->driver_status == 0;
            request->info = good ? SG_INFO_OK : SG_INFO_CHECK;
            umockdev_ioctl_client_complete(client, 0, 0);
        }
    }
    for (UMockdevIoctlData* resolved : {cdb, data, sense})
        if (resolved != nullptr) g_object_unref(resolved);
    g_object_unref(header);
}

}  // namespace fwup::test
