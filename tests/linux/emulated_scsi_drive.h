#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <umockdev.h>

#include "platform/simulation/simulated_device.h"

namespace fwup::test {

// How the emulated drive answers SG_IO, beyond what its firmware says.
enum class SgFault {
    None,
    PermissionDenied,  // the ioctl fails with EPERM, as without CAP_SYS_RAWIO
    BridgeAbort,       // the ioctl returns 0, but the bridge aborted: DID_ABORT with sense
};

// One SG_IO request as the drive received it.
struct SgRequest {
    std::vector<std::uint8_t> cdb;
    int direction;
    std::uint32_t length;
    std::uint32_t timeoutMs;
};

// A SCSI drive under umockdev: a scsi_device with its type, vendor and model,
// a block device below it (with the device link and removable flag the
// platform reads), and a node whose SG_IO requests are answered here. The
// answers come from a simulated device in storage mode, through the volume
// simulatedVolume: the device's own volume answers the vendor commands,
// an ordinary one refuses them with CHECK CONDITION.
class EmulatedScsiDrive {
public:
    EmulatedScsiDrive(UMockdevTestbed* testbed, const std::string& name, int scsiType,
                      bool removable, SimulatedDevice& firmware,
                      const std::string& simulatedVolume);
    ~EmulatedScsiDrive();
    EmulatedScsiDrive(const EmulatedScsiDrive&) = delete;
    EmulatedScsiDrive& operator=(const EmulatedScsiDrive&) = delete;

    void FailWith(SgFault fault);
    std::vector<SgRequest> Requests();
    // How often the node was opened. (umockdev learns of a close only lazily,
    // so closes are counted on the host's side.)
    int Opens();

private:
    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer self);
    void AnswerSgIo(UMockdevIoctlClient* client);

    UMockdevTestbed* testbed_;
    std::string name_;
    std::string scsiPath_;
    std::string blockPath_;
    std::string devnode_;
    UMockdevIoctlBase* handler_ = nullptr;
    SimulatedDevice& firmware_;
    PlatformHandle volume_ = kInvalidHandleValue;

    std::mutex lock_;
    SgFault fault_ = SgFault::None;
    std::vector<SgRequest> requests_;
    int opens_ = 0;
};

}  // namespace fwup::test
