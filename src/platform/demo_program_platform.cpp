// The demonstration program's platforms: the simulated device, set up from
// the FWUP_DEMO_* environment variables, in place of the Windows calls. The
// rest of the program is the same.

#include <cstdlib>

#include "platform/demo_device.h"
#include "platform/program_platform.h"

namespace fwup {
namespace {

DemoDevice& TheDemoDevice() {
    // Settings that cannot be read keep their defaults: the demo has nowhere
    // to report them but the README's list of variables.
    static std::vector<std::string> problems;
    static DemoDevice device(ReadDemoSettings([](const char* name) { return std::getenv(name); },
                                              problems));
    return device;
}

}  // namespace

UsbPlatform& ProgramUsbPlatform() {
    return TheDemoDevice();
}

DrivePlatform& ProgramDrivePlatform() {
    return TheDemoDevice();
}

}  // namespace fwup
