#pragma once

#include <string>
#include <string_view>

namespace fwup {

// What a device or its system says of it (a serial number, a vendor and
// model) is untrusted bytes. Made fit to show: valid UTF-8, each byte that is
// not part of a valid sequence read as U+FFFD, and without control characters
// (C0, DEL, C1, and the marks that reorder text), so that a name can neither
// break a JSON document nor move a terminal's cursor or colour its screen.
std::string ShowableDeviceText(std::string_view raw);

}  // namespace fwup
