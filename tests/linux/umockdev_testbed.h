#pragma once

#include <umockdev.h>

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

}  // namespace fwup::test
