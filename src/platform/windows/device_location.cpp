#include "platform/windows/device_location.h"

#include <cctype>
#include <optional>

#include "core/little_endian.h"

namespace fwup {
namespace {

// Whether text holds word at a position, letters in either case. (No
// substr here: the dialog links no runtime texts for its exceptions.)
bool HoldsNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) !=
            std::toupper(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return HoldsNoCase(text, 0, prefix);
}

// The decimal number after a prefix at the front of text, which it takes;
// nothing without one, or one too long to be a port or hub.
std::optional<unsigned> TakeNumber(std::string_view& text, std::string_view prefix) {
    if (!StartsWithNoCase(text, prefix)) return std::nullopt;
    text.remove_prefix(prefix.size());
    unsigned value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        if (digits == 6) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    text.remove_prefix(digits);
    return value;
}

// The zero-ended text at an offset the descriptor gives, spaces trimmed.
std::string DescriptorText(const std::uint8_t* answer, std::size_t size, std::size_t field) {
    if (field + 4 > size) return {};
    const std::uint32_t offset = ReadLe32(answer + field);
    if (offset == 0 || offset >= size) return {};
    std::size_t first = offset, end = offset;
    while (end < size && answer[end] != 0) ++end;
    while (first < end && answer[first] == ' ') ++first;
    while (end > first && answer[end - 1] == ' ') --end;
    return std::string(answer + first, answer + end);
}

}  // namespace

std::string StorageDescription(const std::uint8_t* answer, std::size_t size) {
    constexpr std::size_t kVendorIdOffsetField = 12, kProductIdOffsetField = 16;
    const std::string vendor = DescriptorText(answer, size, kVendorIdOffsetField);
    const std::string product = DescriptorText(answer, size, kProductIdOffsetField);
    if (vendor.empty() || product.empty()) return vendor + product;
    return vendor + " " + product;
}

std::string UsbLocationId(std::string_view locationInformation) {
    std::string_view rest = locationInformation;
    const std::optional<unsigned> port = TakeNumber(rest, "Port_#");
    if (!port || !StartsWithNoCase(rest, ".")) return {};
    rest.remove_prefix(1);
    const std::optional<unsigned> hub = TakeNumber(rest, "Hub_#");
    if (!hub || !rest.empty()) return {};
    std::string id = "hub";
    id.append(std::to_string(*hub)).append("-port").append(std::to_string(*port));
    return id;
}

bool IsUsbDeviceInstance(std::string_view instanceId) {
    if (!StartsWithNoCase(instanceId, "USB\\")) return false;
    const std::size_t serialAt = instanceId.rfind('\\');
    for (std::size_t at = 0; at < serialAt; ++at)
        if (HoldsNoCase(instanceId, at, "&MI_") && at + 4 <= serialAt) return false;
    return true;
}

std::string SerialOfInstanceId(std::string_view instanceId) {
    if (!IsUsbDeviceInstance(instanceId)) return {};
    const std::size_t serialAt = instanceId.rfind('\\');
    if (serialAt < 4) return {};
    const std::string serial(instanceId.begin() + static_cast<std::ptrdiff_t>(serialAt) + 1,
                             instanceId.end());
    if (serial.empty() || serial.find('&') != std::string::npos) return {};
    return serial;
}

std::string VendorDeviceId(const std::string& locationId, const std::string& serial,
                           const std::string& interfacePath) {
    if (!locationId.empty()) return locationId;
    if (!serial.empty()) return std::string("serial:").append(serial);
    return interfacePath;
}

std::vector<UsbDeviceInfo> VendorDevicesAmong(const std::vector<PresentInterface>& present) {
    std::vector<UsbDeviceInfo> devices;
    for (const PresentInterface& entry : present) {
        if (!InterfacePathMatches(entry.path)) continue;
        bool listed = false;
        for (const UsbDeviceInfo& device : devices)
            listed = listed || (device.path.size() == entry.path.size() &&
                                HoldsNoCase(device.path, 0, entry.path));
        if (listed) continue;
        const std::string serial = SerialOfInstanceId(entry.instanceId);
        devices.push_back(UsbDeviceInfo{
            VendorDeviceId(UsbLocationId(entry.locationInformation), serial, entry.path), serial,
            entry.path});
    }
    return devices;
}

}  // namespace fwup
