#pragma once

#include <optional>
#include <string>
#include <variant>

#include "app/terminal/command_line.h"
#include "core/outcome.h"
#include "devices/attached_devices.h"
#include "devices/unit_on_port.h"
#include "storage/info_command.h"

namespace fwup {

// list, or info of a device in vendor mode: found, nothing asked.
struct Listed {};

// The station's own refusal, decided from the listing before any device was
// worked on: no such device, none usable, or several and none chosen.
struct Refusal {
    OutcomeKind kind = OutcomeKind::NoDevice;  // NoDevice, NoPermission, SeveralDevices, Busy
    FrontEndCommand command = FrontEndCommand::None;  // the command refused
    LinkStatus usbStatus = LinkStatus::Ok;  // the listing's: Unavailable when USB cannot be reached
    std::string deviceId;  // NoPermission: the first volume refused; Busy: the device held elsewhere
};

// How run's wait for the re-plug ended.
enum class Replug {
    NotAwaited,   // the clear did not erase, or the device was in vendor mode already
    CameBack,
    NotBack,      // not within the wait: erased, and not updated
    Interrupted,  // Ctrl-C while waiting: erased, and not updated
};

// What run did: the clear (none for a device that was in vendor mode
// already), the wait, and the update only where one ran.
struct RunResult {
    std::optional<ClearResult> clear;
    Replug replug = Replug::NotAwaited;
    int waitSeconds = 0;  // how long the device was waited for
    std::optional<UpdateResult> update;
    std::optional<ConfirmResult> confirm;  // --confirm, where the update succeeded
};

using CommandResult = std::variant<Listed, Refusal, DeviceInfo, ClearResult, UpdateResult, RunResult>;

// What came of one device.
struct DeviceRun {
    AttachedDevice device;
    CommandResult result;
};

// The one word for what came of a device.
OutcomeKind KindOf(const RunResult& run);
OutcomeKind KindOf(const CommandResult& result);

}  // namespace fwup
