#pragma once

#include <string>
#include <vector>

#include "app/terminal/terminal_texts.h"
#include "devices/attached_devices.h"

namespace fwup {

// The devices as list prints them: a heading, then a device a line, the
// columns aligned. Each line starts with the ID every command takes.
std::vector<std::string> DeviceListLines(const std::vector<AttachedDevice>& devices,
                                         Language language);

// The IDs, as "sim-1, sim-2"; "none" (in the language) for no device.
std::string DeviceIds(const std::vector<AttachedDevice>& devices, Language language);

}  // namespace fwup
