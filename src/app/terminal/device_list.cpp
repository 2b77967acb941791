#include "app/terminal/device_list.h"

#include <algorithm>
#include <array>

#include "app/terminal/text_format.h"
#include "core/device_model.h"

namespace fwup {
namespace {

using Row = std::array<std::string, 3>;  // ID, mode, details

// What is known of a device beyond its ID and mode.
std::string Details(const AttachedDevice& device, Language language) {
    std::vector<std::string> parts;
    if (device.mode == AttachedMode::Vendor) {
        if (!device.usb.serial.empty())
            parts.push_back(Format(Say(kListSerial, language), device.usb.serial.c_str()));
    } else {
        if (device.volume.id != device.id) parts.push_back(device.volume.id);
        if (!device.volume.description.empty()) parts.push_back(device.volume.description);
        if (!device.readable) parts.push_back(Say(kSystemTexts.needsRights, language));
        if (device.versionKnown)
            parts.push_back(Format(Say(kListVersion, language),
                                   std::string(FormatVersion(device.version).View()).c_str()));
    }
    std::string details;
    for (const std::string& part : parts) details += (details.empty() ? "" : "  ") + part;
    return details;
}

}  // namespace

std::vector<std::string> DeviceListLines(const std::vector<AttachedDevice>& devices,
                                         Language language) {
    std::vector<Row> rows{Row{Say(kListId, language), Say(kListMode, language),
                              Say(kListDetails, language)}};
    for (const AttachedDevice& device : devices)
        rows.push_back(Row{device.id,
                           Say(device.mode == AttachedMode::Vendor ? kModeVendor : kModeStorage, language),
                           Details(device, language)});
    int idWidth = 0, modeWidth = 0;
    for (const Row& row : rows) {
        idWidth = std::max(idWidth, DisplayWidth(row[0]));
        modeWidth = std::max(modeWidth, DisplayWidth(row[1]));
    }
    std::vector<std::string> lines;
    for (const Row& row : rows) {
        std::string line = PadTo(row[0], idWidth + 2) + PadTo(row[1], modeWidth + 2) + row[2];
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
    }
    return lines;
}

std::string DeviceIds(const std::vector<AttachedDevice>& devices, Language language) {
    std::string ids;
    for (const AttachedDevice& device : devices) ids += (ids.empty() ? "" : ", ") + device.id;
    return ids.empty() ? Say(kNoIds, language) : ids;
}

}  // namespace fwup
