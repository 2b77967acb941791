#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwup {

// What became of one unit that the station served, in one word. Every
// outcome but the record's own "unfinished" is the end of a unit.
enum class UnitOutcome {
    Unfinished,           // a start line and no end: the station was killed, or the power cut
    Confirmed,            // written, came back in storage mode at the image's version
    UpToDate,             // already at the image's version: nothing erased
    NotCompared,          // written and came back; the image's version is not known
    WrongVersion,         // written, came back at another version
    DidNotStart,          // written, came back in vendor mode: the firmware did not start
    WrittenNotConfirmed,  // written; removed, or not back in time, before it was read
    ErasedNotWritten,     // erased (or arrived so); removed, not back, or the download failed
    Failed,               // a command before the erase failed: nothing changed
    Refused,              // the user id does not allow the erase: nothing changed
    Interrupted,          // stopped at once by a second request to stop
};

// The steps of a unit, in the order it takes them.
enum class UnitStep {
    Read,            // its version and user id, in storage mode
    Erase,
    ReplugToVendor,  // the wait for it in vendor mode
    Download,
    ReplugToStorage, // the wait for it in storage mode again
    Confirm,         // its version read back
};

// Passed: confirmed, up to date, or written and back where nothing could be
// compared. Unfinished is neither passed nor failed.
bool Passed(UnitOutcome outcome);
bool Failed(UnitOutcome outcome);
// "confirmed", "up-to-date", "erased-not-written", … as the record and the
// JSON events name them; and back.
const char* UnitOutcomeName(UnitOutcome outcome);
std::optional<UnitOutcome> UnitOutcomeNamed(std::string_view name);
// "read", "erase", "replug", "download", "replug-to-confirm", "confirm".
const char* UnitStepName(UnitStep step);
std::optional<UnitStep> UnitStepNamed(std::string_view name);

struct StepTime {
    UnitStep step = UnitStep::Read;
    std::int64_t milliseconds = 0;
};

// The image a unit was given, as the record keeps it.
struct RecordedImage {
    std::string sha256;                    // 64 lowercase hexadecimal digits
    std::uint64_t size = 0;
    std::optional<std::uint16_t> version;  // none: not known, nothing compared
};

// One unit, as the record file keeps it: the start line holds what was known
// when it arrived, the end line all of it. Times are milliseconds since
// 1970-01-01 UTC; the file writes them as ISO 8601 ("2026-12-09T12:05:18.123Z").
// Every text came from the device or the system: it is written escaped, and
// shown only after ShowableDeviceText.
struct UnitRecord {
    std::string unit;     // this record's own key: the start and end lines share it
    std::string program;  // "firmware-updater 1.0.0"
    std::string host;
    std::string port;
    std::string storageSerial;  // the serial it gave in storage mode, where it gave one
    std::string vendorSerial;   // and in vendor mode
    std::int64_t startMs = 0;
    std::optional<std::int64_t> endMs;  // none on a start line
    std::optional<std::uint16_t> versionBefore;
    std::optional<std::uint16_t> versionAfter;
    std::optional<std::uint32_t> userId;
    RecordedImage image;
    UnitOutcome outcome = UnitOutcome::Unfinished;
    std::optional<UnitStep> failedStep;
    std::string detail;            // what went wrong at that step, in English; empty if nothing
    std::vector<StepTime> steps;   // each step taken, in order, and how long it took
};

// One line of the record: a JSON object without its line end; a start line
// where endMs is none, an end line otherwise. Its field names are stable
// (schema kUnitRecordSchema), and a device's text that is not UTF-8 is
// written with U+FFFD in place of the bytes, never refused.
inline constexpr const char* kUnitRecordSchema = "firmware-updater-unit/1";
std::string RecordLine(const UnitRecord& record);

// A line read back: a start or an end line of ours; a line cut short (by a
// crash, or not JSON at all, or lacking a field ours always has); or an
// object of another program's schema.
struct RecordLineRead {
    enum Kind { Start, End, Cut, Foreign } kind = Cut;
    UnitRecord record;
};
RecordLineRead ReadRecordLine(std::string_view line);

// Milliseconds since 1970-01-01 UTC as "2026-12-09T12:05:18.123Z", and back
// (the milliseconds may be left out: "2026-12-09T12:05:18Z"); none for any
// other text or a date that does not exist.
std::string IsoUtc(std::int64_t ms);
// Now, as the record counts time.
std::int64_t UtcNowMs();
std::optional<std::int64_t> ReadIsoUtc(std::string_view text);

}  // namespace fwup
