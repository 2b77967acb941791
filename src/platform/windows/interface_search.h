#pragma once

// The Windows link's device search, apart from the SetupAPI calls so that it
// builds and runs anywhere: the interface class, the path test, the interface
// detail record's arithmetic and the pipe paths below a device path.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_model.h"

namespace fwup {

// A device interface class, laid out like the platform's GUID.
struct InterfaceClass {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// GUID_DEVINTERFACE_USB_DEVICE, {A5DCBF10-6530-11D2-901F-00C04FB951ED}
inline constexpr InterfaceClass kGuidDevinterfaceUsbDevice{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// "vid_2008" and "pid_7639": how an interface path names the model's ids.
struct IdText {
    char text[9];
    constexpr std::string_view View() const { return {text, 8}; }
};
constexpr IdText PathIdText(const char (&prefix)[5], std::uint16_t id) {
    constexpr char kDigits[] = "0123456789abcdef";
    IdText out{};
    for (int i = 0; i < 4; ++i) out.text[i] = prefix[i];
    for (int i = 0; i < 4; ++i) out.text[4 + i] = kDigits[(id >> (12 - 4 * i)) & 0xF];
    return out;
}
inline constexpr IdText kVendorIdText = PathIdText("vid_", kVendorId);
inline constexpr IdText kProductIdText = PathIdText("pid_", kProductId);
static_assert(kVendorIdText.View() == "vid_2008" && kProductIdText.View() == "pid_7639");

// The driver's pipes below the device's interface path.
inline constexpr char kReplyPipeName[] = "PIPE00";    // device-to-host: replies
inline constexpr char kCommandPipeName[] = "PIPE01";  // host-to-device: commands and data
inline constexpr char kPipeSeparator[] = "\\";
inline constexpr std::uint32_t kInterfacePathBufferSize = 256;
// One less than the buffer: the query then always leaves a terminating zero.
inline constexpr std::uint32_t kInterfacePathCapacity = kInterfacePathBufferSize - 1;

// The interface detail record the platform fills: a 4-byte size field, then
// the path with its terminating zero. Its fixed head is the size field and the
// path's first character.
inline constexpr std::uint32_t kInterfaceDetailPathOffset = 4;
inline constexpr std::uint32_t kInterfaceDetailHeadSize = 5;

// A reported size below the fixed head cannot hold the record: filling in its
// size field would write past the allocation, so that index fails instead.
bool InterfaceDetailSizeUsable(std::uint32_t requiredSize);

// The fit test and the copy: the path is copied, with its zero, only when the
// capacity is at least the whole required size (size field, path, zero). The
// copy never reads past the record and always leaves a terminated path.
bool CopyInterfacePath(const char* detailPath, std::uint32_t requiredSize, char* path,
                       std::uint32_t capacity);

// Exact, case-sensitive substring tests, independent of each other's order.
bool InterfacePathMatches(std::string_view path);

// Device path, separator, pipe name. Grows as needed: a 250-character device
// path makes 258 bytes with the terminating zero, more than the path buffer.
std::string ComposePipePath(std::string_view devicePath, std::string_view pipeName);

// How the platform answered for one index of an interface set.
enum class MemberAt {
    Visited,     // the interface was read and visited
    Unreadable,  // this one could not be read: the walk goes on past it
    End,         // past the last one, or the visitor has seen enough
};

// The most indices one walk asks for: a platform that never says "no more"
// still ends the walk.
inline constexpr std::uint32_t kMostInterfaceMembers = 4096;

// Asks for every index of one set, from 0, until the platform answers End. An
// index that cannot be read is skipped: it never hides the ones after it.
void ForEachMemberIndex(const std::function<MemberAt(std::uint32_t memberIndex)>& at);

}  // namespace fwup
