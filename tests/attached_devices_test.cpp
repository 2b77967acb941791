#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "devices/attached_devices.h"
#include "storage_test_support.h"

namespace fwup {
namespace {

using test::DeviceInStorageMode;

// The station's look at each volume before it acts: what it lists, and that
// the look never holds a volume for Clear's long time limit or leaves it open.
TEST(AttachedDevices, EachVolumeIsAskedTheVersionWithinTheShortLimitAndClosed) {
    struct Row {
        const char* name;
        SimulatedVolume ordinary;  // a volume beside the device's "E"
        StorageFault versionFault;
        std::vector<std::string> listed;
        bool eReadable;
    };
    const std::vector<Row> rows = {
        {"an ordinary stick beside the device", {VolumeKind::Removable, false, true}, {},
         {"E"}, true},
        {"a volume this user may not open", {VolumeKind::Removable, false, false}, {},
         {"E", "F"}, true},
        {"the device refusing the command to this user", {VolumeKind::Removable, false, true},
         {ScsiFault::PermissionDenied}, {"E"}, false},
        {"a version reply cut short", {VolumeKind::Removable, false, true},
         {ScsiFault::ShortReply, 2}, {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimulatedDevice device = DeviceInStorageMode("E", 0x0240);
        device.volumes["F"] = row.ordinary;
        if (row.versionFault.kind != ScsiFault::None)
            device.InjectStorageFault(kVersionQueryCommand, row.versionFault);

        const AttachedDevices attached = ListAttachedDevices(device, device, true, true);

        std::vector<std::string> volumes;
        for (const AttachedDevice& found : attached.devices) {
            volumes.push_back(found.volume.id);
            // The ID is the device's USB port, where the volume has one.
            EXPECT_EQ(found.id, found.volume.id == "E" ? device.usbId : found.volume.id);
            if (found.volume.id == "E") {
                EXPECT_EQ(found.readable, row.eReadable);
                EXPECT_EQ(found.versionKnown, row.eReadable);
            }
        }
        std::sort(volumes.begin(), volumes.end());
        EXPECT_EQ(volumes, row.listed);
        ASSERT_FALSE(device.ScsiLog().empty());
        for (const ScsiRequestRecord& request : device.ScsiLog()) {
            EXPECT_EQ(request.cdb[1], kVersionQueryCommand);
            EXPECT_EQ(request.timeLimitSeconds, kProbeTimeLimitSeconds);
        }
        EXPECT_EQ(device.EraseCount(), 0u);
        EXPECT_EQ(device.OpenHandleCount(), 0);
    }
}

// A drive letter is named as people write it on Windows, and only it.
TEST(AttachedDevices, ADriveLetterIsNamedInEitherCaseWithOrWithoutItsColon) {
    SimulatedDevice device = DeviceInStorageMode("E:", 0x0240);
    const std::pair<const char*, bool> names[] = {
        {"E:", true}, {"e", true}, {"e:\\", true}, {"E:\\x", false}, {"F:", false}, {"E;", false}};
    for (const auto& [name, found] : names) {
        const AttachedDevices attached = ListAttachedDevices(device, device, false, true, name);
        EXPECT_EQ(FindAttachedDevice(attached, name) != nullptr, found) << name;
        EXPECT_EQ(attached.volumesAsked, found ? 1u : 0u) << name;
    }
}

}  // namespace
}  // namespace fwup
