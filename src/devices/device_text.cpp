#include "devices/device_text.h"

#include <cstdint>

namespace fwup {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at text[at] and its code point, or 0
// where none starts there: no overlong forms, no surrogates, nothing past
// U+10FFFF.
std::size_t ValidSequence(std::string_view text, std::size_t at, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, lowest = 0x80, codePoint = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, lowest = 0x800, codePoint = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, lowest = 0x10000, codePoint = lead & 0x07;
    else return 0;
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (byte(i) & 0x3F);
    }
    if (codePoint < lowest || codePoint > 0x10FFFF) return 0;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
    return length;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string ShowableDeviceText(std::string_view raw) {
    std::string shown;
    shown.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        char32_t codePoint = 0;
        const std::size_t length = ValidSequence(raw, at, codePoint);
        if (length == 0) {
            shown += kReplacement;
            ++at;
            continue;
        }
        if (!IsControl(codePoint)) shown.append(raw.substr(at, length));
        at += length;
    }
    return shown;
}

}  // namespace fwup
