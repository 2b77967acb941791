// firmware-updater for Linux: the three steps of the Windows dialog as
// commands of a terminal program, over libusb and SG_IO.

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/linux/embedded_image.h"
#include "app/linux/front_end.h"
#include "app/linux/linux_platform_facts.h"
#include "platform/simulated_device.h"

namespace fwup {
namespace {

constexpr int kDefaultColumns = 80;
// The simulated device takes this long a transfer, so that a person sees the
// progress bar move: about two seconds for the whole image.
constexpr std::uint32_t kSimulatedTransferMs = 30;

class SimulationFacts : public PlatformFacts {
public:
    explicit SimulationFacts(SimulatedDevice& device) : device_(device) {}
    UsbFacts Usb() override { return {}; }
    std::string DriveAccessDeniedPath() override { return {}; }
    std::string DescribeVolume(PlatformHandle) override {
        // The volume last spoken to is the one the search returned.
        const char letter = device_.PassThroughLog().empty() ? '?' : device_.PassThroughLog().back().letter;
        return std::string{letter, ':'} + " (simulated)";
    }

private:
    SimulatedDevice& device_;
};

// The device as it stands at each step: in storage mode as a removable drive
// behind an ordinary one for clear and info, in vendor mode for update.
SimulatedDevice SimulatedDeviceFor(FrontEndCommand command) {
    SimulatedDevice device(command == FrontEndCommand::Update ? DeviceMode::VendorMode
                                                              : DeviceMode::StorageMode);
    device.volumes['D'] = SimulatedVolume{VolumeKind::Removable, false, true};
    device.volumes['E'] = SimulatedVolume{VolumeKind::Removable, true, true};
    device.transferDelayMs = kSimulatedTransferMs;
    device.sleepFor = [](std::uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    return device;
}

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

int Run(int argc, char** argv) {
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    const LanguageFlag languageFlag = LanguageFromEnvironment(
        std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    auto run = [&](UsbPlatform& usb, DrivePlatform& drives, PlatformFacts& facts) {
        FrontEnd frontEnd{commandLine, languageFlag, usb, drives, facts,
                          EmbeddedFirmwareImage(), stdout, stderr, stdin,
                          isatty(STDIN_FILENO) != 0, isatty(STDOUT_FILENO) != 0,
                          TerminalColumns()};
        return static_cast<int>(RunFrontEnd(frontEnd));
    };
    if (commandLine.simulate) {
        SimulatedDevice device = SimulatedDeviceFor(commandLine.command);
        SimulationFacts facts(device);
        return run(device, device, facts);
    }
    LibusbUsbPlatform usb;
    SgIoDrivePlatform drives;
    LinuxPlatformFacts facts(usb, drives);
    return run(usb, drives, facts);
}

}  // namespace
}  // namespace fwup

int main(int argc, char** argv) {
    return fwup::Run(argc, argv);
}
