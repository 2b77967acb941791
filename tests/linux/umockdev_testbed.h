#pragma once

#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>

namespace fwup::test {

// The process's one testbed, made on first use: before any libusb context,
// which only sees devices that exist when it starts.
inline UMockdevTestbed* Testbed() {
    static UMockdevTestbed* const testbed = umockdev_testbed_new();
    return testbed;
}

// The testbed's root, under which tests place the device nodes umockdev
// does not make itself.
inline std::string TestbedRoot() {
    gchar* root = umockdev_testbed_get_root_dir(Testbed());
    std::string path = root;
    g_free(root);
    return path;
}

// umockdev does not make device nodes; a node must exist before its ioctls
// can be emulated. devnode is the path the host opens ("/dev/sdb").
inline void CreateDeviceNode(const std::string& devnode) {
    const std::string path = TestbedRoot() + devnode;
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    std::ofstream(path).put('\0');
}

// Answers the ioctls on devnode with onIoctl (a handle-ioctl signal handler
// given self); the caller unrefs the handler after detaching it.
inline UMockdevIoctlBase* AttachIoctlHandler(const std::string& devnode, GCallback onIoctl,
                                             gpointer self) {
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", onIoctl, self);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(Testbed(), devnode.c_str(), handler, &error)) {
        const std::string message = error != nullptr ? error->message : "unknown";
        g_clear_error(&error);
        g_object_unref(handler);
        throw std::runtime_error("umockdev cannot emulate " + devnode + ": " + message);
    }
    return handler;
}

inline void RemoveDeviceNode(const std::string& devnode) {
    unlink((TestbedRoot() + devnode).c_str());
}

// umockdev leaves the block links of a removed device behind, and refuses to
// add a device of the same name while they are there.
inline void RemoveBlockDevice(const std::string& sysfsPath, const std::string& name) {
    umockdev_testbed_remove_device(Testbed(), sysfsPath.c_str());
    unlink((TestbedRoot() + "/sys/block/" + name).c_str());
    unlink((TestbedRoot() + "/sys/class/block/" + name).c_str());
}

}  // namespace fwup::test
