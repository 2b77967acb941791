// Which vendor-mode device is the one a clear sent away, and the key both its
// modes are locked by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/returning_device.h"
#include "platform/device_locks.h"

namespace fwup {
namespace {

TEST(ReturningDevice, IsFoundByItsPortElseItsSerialNeverAsTheNewcomer) {
    const std::vector<UsbDeviceInfo> listed = {
        {"1-1", "AAA"}, {"1-2", "BBB"}, {"1-3", ""}, {"serial:CCC", "CCC"}};
    struct Row {
        const char* name;
        VolumeCandidate cleared;
        const char* found;  // the ID of the device taken; null: none
    };
    const Row rows[] = {
        {"same port", {"/dev/sdb", "", "1-2", "ZZZ"}, "1-2"},
        {"port first, whatever the serial says", {"/dev/sdb", "", "1-1", "BBB"}, "1-1"},
        {"no port known: the serial", {"/dev/sdb", "", "", "BBB"}, "1-2"},
        {"a port none is on: the serial", {"E:", "", "hub2-port3", "CCC"}, "serial:CCC"},
        {"neither known", {"/dev/sdb", "", "", ""}, nullptr},
        {"not back yet", {"/dev/sdb", "", "1-9", "XXX"}, nullptr},
        {"an empty serial ties to nothing", {"/dev/sdb", "", "1-9", ""}, nullptr},
    };
    for (const Row& row : rows) {
        const UsbDeviceInfo* found = FindReturnedDevice(row.cleared, listed);
        if (row.found == nullptr) {
            EXPECT_EQ(found, nullptr) << row.name;
        } else {
            ASSERT_NE(found, nullptr) << row.name;
            EXPECT_EQ(found->id, row.found) << row.name;
        }
    }
}

// A device's two modes share its key; no two devices share one.
TEST(ReturningDevice, LockKeyIsThePortElseTheSerialInEitherMode) {
    auto storage = [](const char* volume, const char* port, const char* serial) {
        AttachedDevice device;
        device.mode = AttachedMode::Storage;
        device.volume = VolumeCandidate{volume, "", port, serial};
        return device;
    };
    auto vendor = [](const char* id, const char* serial, const char* path) {
        AttachedDevice device;
        device.mode = AttachedMode::Vendor;
        device.usb = UsbDeviceInfo{id, serial, path};
        return device;
    };
    struct Row {
        AttachedDevice device;
        const char* key;
    };
    const Row rows[] = {
        {storage("/dev/sdb", "1-1.4", "AAA"), "port:1-1.4"},
        {vendor("1-1.4", "AAA", ""), "port:1-1.4"},
        {storage("E:", "hub2-port3", ""), "port:hub2-port3"},
        {vendor("hub2-port3", "", "\\\\?\\usb#vid_2008&pid_7639#x"), "port:hub2-port3"},
        {storage("E:", "", "AAA"), "serial:AAA"},
        {vendor("serial:AAA", "AAA", "\\\\?\\usb#vid_2008&pid_7639#AAA"), "serial:AAA"},
        {storage("E:", "", ""), "volume:E:"},
        {vendor("\\\\?\\usb#x", "", "\\\\?\\usb#x"), "path:\\\\?\\usb#x"},
        {storage("sim-disk-1", "sim-1", "SIM1000"), "port:sim-1"},
        {vendor("sim-1", "SIM1000", ""), "port:sim-1"},
    };
    for (const Row& row : rows) EXPECT_EQ(DeviceLockKey(row.device), row.key) << row.key;
}

TEST(ReturningDevice, LockNamesKeepPlainBytesAndEscapeTheRest) {
    const std::pair<const char*, const char*> rows[] = {
        {"port:1-1.4", "port%3A1-1.4"},
        {"serial:A_b9", "serial%3AA_b9"},
        {"path:\\\\?\\usb#x", "path%3A%5C%5C%3F%5Cusb%23x"},
        {"%3A", "%253A"},  // an escape in the key never reads as another key's
        {"\xE4\xB8\xAD", "%E4%B8%AD"},
    };
    for (const auto& [key, name] : rows) EXPECT_EQ(LockNameOf(key), name) << key;
}

}  // namespace
}  // namespace fwup
