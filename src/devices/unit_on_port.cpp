#include "devices/unit_on_port.h"

#include <chrono>

#include "core/device_model.h"
#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSerialPrefix[] = "serial:";  // how a vendor-mode ID names a serial

std::int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The version the unit answers on one of its volumes, read-only, within a
// probe's short limit; none where no volume answers.
std::optional<std::uint16_t> ReadVersionOnPort(ScsiDrives& drives, const PortLook& look) {
    for (const VolumeCandidate& volume : look.volumes) {
        std::uint16_t version = 0;
        const FoundDrive found = FindVendorDrive(drives, &version, kProbeTimeLimitSeconds, &volume);
        if (found.handle == kInvalidHandleValue) continue;
        drives.CloseVolume(found.handle);
        return version;
    }
    return std::nullopt;
}

bool AnotherUnit(const PortLook& look, const std::string& serialBefore) {
    const std::string serial = look.Serial();
    return !serialBefore.empty() && !serial.empty() && serial != serialBefore;
}

}  // namespace

std::string PortLook::Serial() const {
    if (mode == PortMode::Vendor) return usb.serial;
    for (const VolumeCandidate& volume : volumes)
        if (!volume.usbSerial.empty()) return volume.usbSerial;
    return {};
}

std::string PortOf(const VolumeCandidate& volume) { return volume.usbPort; }

std::string PortOf(const UsbDeviceInfo& device) {
    // Listed by its port where the system places it; otherwise by "serial:"
    // and its serial, or by its interface path.
    const bool byPort =
        device.id.rfind(kSerialPrefix, 0) != 0 && (device.path.empty() || device.id != device.path);
    return byPort ? device.id : std::string();
}

PortLook LookAtPort(UsbLink& usb, ScsiDrives& drives, const std::string& port) {
    PortLook look;
    LinkStatus status = LinkStatus::Ok;
    for (const UsbDeviceInfo& device : usb.FindDevices(&status))
        if (!port.empty() && PortOf(device) == port) {
            look.mode = PortMode::Vendor;
            look.usb = device;
            return look;
        }
    for (const VolumeCandidate& volume : drives.FindCandidateVolumes())
        if (!port.empty() && PortOf(volume) == port) look.volumes.push_back(volume);
    if (!look.volumes.empty()) look.mode = PortMode::Storage;
    return look;
}

WaitEnd WatchPort(const PortWait& wait, const std::function<bool(const PortLook&)>& settled,
                  PortLook* last) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(wait.waitSeconds);
    for (;;) {
        const PortLook look = LookAtPort(wait.usb, wait.drives, wait.port);
        if (last != nullptr) *last = look;
        if (settled(look)) return WaitEnd::Settled;
        if (wait.stop && wait.stop()) return WaitEnd::Stopped;
        if (Clock::now() >= until) return WaitEnd::TimeUp;
        wait.usb.WaitForArrival(wait.pollMs);
    }
}

ConfirmResult ConfirmAfterReplug(const PortWait& wait, std::optional<std::uint16_t> expected,
                                 const std::string& serialBefore,
                                 const std::function<void()>& reading) {
    ConfirmResult result;
    const Clock::time_point start = Clock::now();
    bool left = false;
    std::optional<Confirmation> settledAs;
    // A unit still in vendor mode has not been re-plugged yet; one seen gone
    // and back in vendor mode runs no firmware of its own.
    auto settled = [&](const PortLook& look) {
        if (look.mode == PortMode::Empty) left = true;
        if (look.mode == PortMode::Vendor && left) settledAs = Confirmation::DidNotStart;
        if (look.mode == PortMode::Storage && AnotherUnit(look, serialBefore))
            settledAs = Confirmation::Replaced;
        else if (look.mode == PortMode::Storage)
            settledAs = Confirmation::Confirmed;
        return settledAs.has_value();
    };
    PortLook look;
    const WaitEnd end = WatchPort(wait, settled, &look);
    result.waitedMs = MillisecondsSince(start);
    if (end == WaitEnd::Stopped) result.how = Confirmation::Interrupted;
    if (end != WaitEnd::Settled) return result;
    result.how = *settledAs;
    result.storageSerial = look.mode == PortMode::Storage ? look.Serial() : std::string();
    if (result.how != Confirmation::Confirmed) return result;
    if (reading) reading();
    const Clock::time_point readStart = Clock::now();
    // A disk that has just come up may not answer yet: asked again within the
    // wait.
    for (;;) {
        result.version = ReadVersionOnPort(wait.drives, look);
        if (result.version || (wait.stop && wait.stop()) ||
            Clock::now() - start >= std::chrono::seconds(wait.waitSeconds))
            break;
        wait.usb.WaitForArrival(wait.pollMs);
        look = LookAtPort(wait.usb, wait.drives, wait.port);
        if (look.mode != PortMode::Storage) break;
    }
    result.readMs = MillisecondsSince(readStart);
    if (!result.version)
        result.how = Confirmation::Unreadable;
    else if (!expected)
        result.how = Confirmation::NotCompared;
    else if (*result.version != *expected)
        result.how = Confirmation::WrongVersion;
    return result;
}

}  // namespace fwup
