#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "devices/attached_devices.h"
#include "devices/device_text.h"
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

// A serial or a description is the device's own bytes: what is shown of it
// is valid UTF-8 without anything a terminal would obey.
TEST(AttachedDevices, WhatADeviceSaysOfItselfIsMadeFitToShow) {
    const std::pair<std::string, std::string> texts[] = {
        {"SN-1234 中文", "SN-1234 中文"},
        {"red\x1b[31mSN\x1b[0m", "red[31mSN[0m"},
        {"tab\tnew\nline\rDEL\x7f", "tabnewlineDEL"},
        {"C1 \xc2\x9b" "2J", "C1 2J"},                                  // U+009B, the one-byte CSI
        {"bidi \xe2\x80\xae" "evil", "bidi evil"},                      // U+202E
        {"cut \xe4\xb8", "cut \xef\xbf\xbd\xef\xbf\xbd"},         // a sequence cut short
        {"latin-1 \xe9t\xe9", "latin-1 \xef\xbf\xbdt\xef\xbf\xbd"},
        {"overlong \xc0\xaf", "overlong \xef\xbf\xbd\xef\xbf\xbd"},
        {"surrogate \xed\xa0\x80", "surrogate \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {std::string("nul\0x", 5), "nulx"},
    };
    for (const auto& [raw, shown] : texts) EXPECT_EQ(ShowableDeviceText(raw), shown) << raw;

    SimulatedDevice device;
    device.mode = DeviceMode::VendorMode;
    device.serial = "SN\x1b]0;title\x07\xff";
    const AttachedDevices attached = ListAttachedDevices(device, device, true, false);
    ASSERT_EQ(attached.devices.size(), 1u);
    EXPECT_EQ(attached.devices[0].usb.serial, "SN]0;title\xef\xbf\xbd");
    EXPECT_NE(FindAttachedDevice(attached, "serial:SN]0;title\xef\xbf\xbd"), nullptr);
}

}  // namespace
}  // namespace fwup
