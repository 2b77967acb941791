#pragma once

// The device this program serves, in one place: how it is found in each of
// its two modes, the bytes of its two protocols that never change, and the
// policy its firmware versions and user ids call for. Every other part takes
// these values from here; texts that show a version are checked against it
// when they are compiled.

#include <array>
#include <cstdint>
#include <string_view>

namespace fwup {

// --- Vendor mode: a USB device with the vendor's driver, two bulk pipes.
inline constexpr std::uint16_t kVendorId = 0x2008;
inline constexpr std::uint16_t kProductId = 0x7639;
inline constexpr std::uint8_t kVendorInterfaceClass = 0xFF;  // vendor-specific

// The vendor interface has two bulk pipes: the device's replies come in on
// one (IN), the host's commands and data go out on the other (OUT).

// The download protocol: a 6-byte header EF 01 02 <code> <length LE16>, the
// payload writes, then a 4-byte reply that starts with 02 and a status byte.
inline constexpr std::array<std::uint8_t, 3> kCommandMarker{0xEF, 0x01, 0x02};
inline constexpr std::uint8_t kBeginCommandCode = 0x01;
inline constexpr std::uint8_t kDataCommandCode = 0x02;
inline constexpr std::uint8_t kEndCommandCode = 0x08;
inline constexpr std::uint32_t kCommandHeaderSize = 6;
inline constexpr std::uint32_t kBeginPayloadSize = 32;
inline constexpr std::uint32_t kLoadAddressSize = 4;
inline constexpr std::uint32_t kEndPayloadSize = 3;
inline constexpr std::uint32_t kReplySize = 4;
inline constexpr std::uint8_t kReplyMarker = 0x02;  // the value of header byte 2
inline constexpr std::uint8_t kReplyAccepted = 0x00;
inline constexpr std::uint32_t MaxChunkSize = 4096;
inline constexpr std::uint32_t kUpdateEndFlag = 1;
inline constexpr std::uint32_t kUpdateTimeoutMs = 10000;

// The begin payload's fixed bytes; bytes 0..3 take the image's beginWord and
// bytes 27..30 its end address, little-endian.
inline constexpr std::array<std::uint8_t, kBeginPayloadSize> kBeginPayloadTemplate{
    0x00, 0x00, 0x00, 0x00, 0x03, 0x1C, 0xD0, 0x00,  //
    0xFC, 0x78, 0x56, 0x11, 0x11, 0x20, 0x1D, 0xD0,  //
    0x00, 0xFC, 0x78, 0x56, 0x44, 0x44, 0x20, 0x20,  //
    0xD0, 0x00, 0xFC, 0x00, 0x00, 0x00, 0x00, 0x20,
};
inline constexpr std::uint32_t kBeginWordAt = 0;
inline constexpr std::uint32_t kEndAddressAt = 27;

// --- Storage mode: a removable or CD-ROM volume that answers vendor SCSI
// commands 87 <sub-command> with replies signed 55 33, numbers high byte first.
inline constexpr std::uint8_t kVendorOperationCode = 0x87;
inline constexpr std::uint8_t kVersionQueryCommand = 0x10;
inline constexpr std::uint8_t kUserIdQueryCommand = 0xAA;
inline constexpr std::uint8_t kEraseCommand = 0xFF;
inline constexpr std::uint32_t kVendorCdbLength = 10;
inline constexpr std::uint8_t kReplySignature0 = 0x55;  // 'U'
inline constexpr std::uint8_t kReplySignature1 = 0x33;  // '3'
inline constexpr std::uint32_t kVersionReplyLength = 4;
inline constexpr std::uint32_t kUserIdReplyLength = 8;
inline constexpr std::uint32_t kEraseReplyLength = 4;
// Where the pass-through request names a target, the device is target 1.
inline constexpr std::uint8_t kVendorTargetId = 1;
inline constexpr std::uint32_t kClearTimeLimitSeconds = 1000;
// The station's read-only look at a volume before it acts. The device answers
// the version query at once; an ordinary stick that does not know the command
// answers CHECK CONDITION at once or, for some, never: 5 s lets a slow bridge
// answer and keeps such a stick from holding every command's device list for
// Clear's 1000 s.
inline constexpr std::uint32_t kProbeTimeLimitSeconds = 5;

// --- The clear policy.
// The user id is read from version 2.38 on, the user asked from 2.40 on, and
// only this id lets the firmware be erased.
inline constexpr std::uint16_t kUserIdCheckedAboveVersion = 0x0237;
inline constexpr std::uint16_t kQuestionFromVersion = 0x0240;
inline constexpr std::uint32_t kAcceptedUserId = 0xFFFFFFFF;
// The version the embedded firmware brings; the dialog's version line names it.
inline constexpr std::uint16_t kUpdatedFirmwareVersion = 0x0240;

// "2.40" for 0x0240: the major part, a full stop and the minor part as two
// hexadecimal digits, as the device's versions are written.
struct VersionText {
    char text[8];
    constexpr std::string_view View() const { return text; }
};
constexpr VersionText FormatVersion(std::uint16_t version) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    VersionText out{};
    int at = 0;
    const unsigned major = version >> 8;
    if (major >= 16) out.text[at++] = kDigits[major >> 4];
    out.text[at++] = kDigits[major & 0xF];
    out.text[at++] = '.';
    out.text[at++] = kDigits[(version >> 4) & 0xF];
    out.text[at++] = kDigits[version & 0xF];
    return out;
}

constexpr bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace fwup
