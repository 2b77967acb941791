#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Whether umockdev's preload library is mapped into this process, as
// umockdev-wrapper arranges. (umockdev_in_mock_environment() says no here
// even under the wrapper.)
bool UnderUmockdevWrapper() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("libumockdev-preload") != std::string::npos) return true;
    return false;
}

}  // namespace

// These tests talk to devices that umockdev emulates; outside its wrapper
// there is nothing to talk to, and they report themselves skipped (77).
int main(int argc, char** argv) {
    if (!UnderUmockdevWrapper()) {
        std::fprintf(stderr, "skipped: run under umockdev-wrapper to emulate the devices\n");
        return 77;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
