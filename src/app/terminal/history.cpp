#include "app/terminal/history.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/terminal/record_file.h"
#include "app/terminal/text_format.h"
#include "app/terminal/unit_record.h"
#include "app/terminal/unit_texts.h"
#include "core/device_model.h"
#include "devices/device_text.h"

namespace fwup {
namespace {

using Json = nlohmann::ordered_json;

constexpr TerminalText kNoRecordYet{"There is no record yet at %s: no unit has been recorded.",
                                    "%s 处还没有记录：尚未记录任何设备。"};
constexpr TerminalText kRecordUnreadable{"Cannot read the record %s.", "无法读取记录 %s。"};
constexpr TerminalText kRecordForeign{
    "%s is not a record of this program: nothing was read from it.",
    "%s 不是本程序的记录：未从中读取任何内容。"};
constexpr TerminalText kCutLines{
    "%s: lines cut short or not of this program, skipped: %s.",
    "%s：以下行不完整或不属于本程序，已跳过：%s。"};
constexpr TerminalText kBadSince{
    "--since %s is not understood: give a date (2026-12-09), a date and a UTC time "
    "(2026-12-09T08:00) or a span back from now (8h, 30m, 2d)",
    "无法理解 --since %s：请给出日期（2026-12-09）、日期和 UTC 时间（2026-12-09T08:00）"
    "或从现在往前的时长（8h、30m、2d）"};
constexpr TerminalText kFailedAt{"at %s", "于 %s"};
constexpr TerminalText kSummary{"%u passed, %u failed, %u unfinished",
                                "通过 %u 台，失败 %u 台，未完成 %u 台"};
constexpr TerminalText kUnitsPerHour{"; %.1f units per hour", "；每小时 %.1f 台"};

constexpr const char* kHistorySchema = "firmware-updater-history/1";

// --since: a date, a date and a UTC time, or a span back from now.
std::optional<std::int64_t> ReadSince(const std::string& text, std::int64_t nowMs) {
    const std::size_t unitAt = text.size() - 1;
    if (text.size() >= 2 && text.size() <= 8 &&
        text.find_first_not_of("0123456789") == unitAt) {
        const std::int64_t count = std::stoll(text.substr(0, unitAt));
        const char unit = text[unitAt];
        const std::int64_t unitMs = unit == 'm' ? 60000 : unit == 'h' ? 3600000
                                  : unit == 'd' ? 86400000 : 0;
        if (unitMs == 0) return std::nullopt;
        return nowMs - count * unitMs;
    }
    std::string iso = text;
    if (!iso.empty() && iso.back() == 'Z') iso.pop_back();
    if (iso.size() == 10) iso += "T00:00";
    if (iso.size() == 16) iso += ":00";
    return ReadIsoUtc(iso + "Z");
}

bool Chosen(const UnitRecord& unit, const std::vector<std::string>& devices,
            std::optional<std::int64_t> since) {
    if (since && unit.startMs < *since) return false;
    if (devices.empty()) return true;
    for (const std::string& device : devices)
        if (device == unit.port || (!unit.storageSerial.empty() && device == unit.storageSerial) ||
            (!unit.vendorSerial.empty() && device == unit.vendorSerial))
            return true;
    return false;
}

struct Summary {
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned unfinished = 0;
    std::optional<double> unitsPerHour;  // none over less than a minute
};

Summary Summarize(const std::vector<UnitRecord>& units) {
    Summary summary;
    std::optional<std::int64_t> firstStart, lastEnd;
    for (const UnitRecord& unit : units) {
        if (Passed(unit.outcome)) ++summary.passed;
        else if (Failed(unit.outcome)) ++summary.failed;
        else ++summary.unfinished;
        firstStart = std::min(firstStart.value_or(unit.startMs), unit.startMs);
        if (unit.endMs) lastEnd = std::max(lastEnd.value_or(*unit.endMs), *unit.endMs);
    }
    const unsigned ended = summary.passed + summary.failed;
    if (ended > 0 && lastEnd && *lastEnd - *firstStart >= 60000)
        summary.unitsPerHour = ended * 3600000.0 / static_cast<double>(*lastEnd - *firstStart);
    return summary;
}

std::string VersionOrUnknown(const std::optional<std::uint16_t>& version) {
    return version ? std::string(FormatVersion(*version).View()) : "?";
}

// One unit a line: "2026-12-09 12:05:18  port  serial  confirmed  2.37 -> 2.40".
struct UnitColumns {
    std::string when, port, serial, outcome, versions, failure;
};

UnitColumns ColumnsOf(const UnitRecord& unit, Language language) {
    std::string when = IsoUtc(unit.startMs).substr(0, 19);
    when[10] = ' ';
    const std::string& serial = unit.storageSerial.empty() ? unit.vendorSerial : unit.storageSerial;
    std::string failure;
    if (unit.failedStep) failure = Format(Say(kFailedAt, language), UnitStepName(*unit.failedStep));
    if (!unit.detail.empty())
        failure += (failure.empty() ? "" : ": ") + ShowableDeviceText(unit.detail);
    return {when,
            ShowableDeviceText(unit.port),
            serial.empty() ? "-" : ShowableDeviceText(serial),
            Say(UnitOutcomeText(unit.outcome), language),
            VersionOrUnknown(unit.versionBefore) + " -> " + VersionOrUnknown(unit.versionAfter),
            failure};
}

void ShowUnits(TerminalOutput& output, const std::vector<UnitRecord>& units, Language language) {
    std::vector<UnitColumns> rows;
    int portWidth = 0, serialWidth = 0, outcomeWidth = 0;
    for (const UnitRecord& unit : units) {
        rows.push_back(ColumnsOf(unit, language));
        portWidth = std::max(portWidth, DisplayWidth(rows.back().port));
        serialWidth = std::max(serialWidth, DisplayWidth(rows.back().serial));
        outcomeWidth = std::max(outcomeWidth, DisplayWidth(rows.back().outcome));
    }
    for (const UnitColumns& row : rows) {
        std::string line = row.when + "  " + PadTo(row.port, portWidth) + "  " +
                           PadTo(row.serial, serialWidth) + "  " +
                           PadTo(row.outcome, outcomeWidth) + "  " + row.versions;
        if (!row.failure.empty()) line += "  " + row.failure;
        output.Result(line);
    }
}

std::string SummaryLine(const Summary& summary, Language language) {
    std::string line = Format(Say(kSummary, language), summary.passed, summary.failed,
                              summary.unfinished);
    if (summary.unitsPerHour) line += Format(Say(kUnitsPerHour, language), *summary.unitsPerHour);
    return line;
}

// The first of the line numbers, enough to find them; the document lists all.
std::string LineNumbers(const std::vector<std::size_t>& lines) {
    constexpr std::size_t kShown = 20;
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(lines[i]);
    if (lines.size() > kShown) text += ", ...";
    return text;
}

std::string Dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The units as the record keeps them, each with its outcome ("unfinished"
// where it has no end): a unit at a time, so that a record of months never
// stands whole in memory as one tree.
std::string UnitsArray(const std::vector<UnitRecord>& units) {
    std::string text = "[";
    for (const UnitRecord& unit : units) {
        Json object = Json::parse(RecordLine(unit), nullptr, false);
        object["outcome"] = UnitOutcomeName(unit.outcome);
        if (text.size() > 1) text += ',';
        text += Dumped(object);
    }
    return text + "]";
}

// The document: the units, the summary, what could not be read.
std::string HistoryDocument(const std::string& path, const std::vector<UnitRecord>& units,
                            const RecordContents& contents, const Json& error) {
    const Summary summary = Summarize(units);
    Json problems = Json::array();
    if (contents.foreign) problems.push_back(Json{{"line", nullptr}, {"problem", "foreign"}});
    for (const std::size_t line : contents.cutLines)
        problems.push_back(Json{{"line", line}, {"problem", "cut"}});
    const Json perHour = summary.unitsPerHour ? Json(*summary.unitsPerHour) : Json(nullptr);
    const Json summaryObject{{"passed", summary.passed},
                             {"failed", summary.failed},
                             {"unfinished", summary.unfinished},
                             {"units_per_hour", perHour}};
    return "{\"schema\":" + Dumped(kHistorySchema) + ",\"record\":" + Dumped(path) +
           ",\"units\":" + UnitsArray(units) + ",\"summary\":" + Dumped(summaryObject) +
           ",\"problems\":" + Dumped(problems) + ",\"error\":" + Dumped(error) + "}";
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())),
                                   ignored);
}

}  // namespace

ExitCode RunHistory(FrontEnd& frontEnd) {
    const CommandLine& line = frontEnd.commandLine;
    const Language language = frontEnd.language;
    TerminalOutput output = OutputOf(frontEnd, line.json);
    const std::string path = line.record.empty() ? frontEnd.recordPath : line.record;
    std::optional<std::int64_t> since;
    if (!line.since.empty()) {
        since = ReadSince(line.since, UtcNowMs());
        if (!since) {
            const std::string message =
                Format(Say(kUsageError, language),
                       Format(Say(kBadSince, language), line.since.c_str()).c_str());
            output.Message(message);
            const Json error{{"code", "usage"}, {"message", message}};
            if (line.json) output.Json(HistoryDocument(path, {}, {}, error));
            return ExitCode::Usage;
        }
    }
    RecordContents contents = ReadRecordFile(path, frontEnd.openFile);
    if (!contents.opened) {
        const bool missing = !FileExists(path);
        const std::string message =
            Format(Say(missing ? kNoRecordYet : kRecordUnreadable, language), path.c_str());
        if (missing) output.Result(message);
        else output.Message(message);
        const Json error =
            missing ? Json(nullptr) : Json{{"code", "record-unreadable"}, {"message", message}};
        if (line.json) output.Json(HistoryDocument(path, {}, contents, error));
        return missing ? ExitCode::Done : ExitCode::NoPermission;
    }
    if (contents.foreign) output.Message(Format(Say(kRecordForeign, language), path.c_str()));
    if (!contents.cutLines.empty())
        output.Message(Format(Say(kCutLines, language), path.c_str(),
                              LineNumbers(contents.cutLines).c_str()));
    std::vector<UnitRecord> units;
    for (UnitRecord& unit : contents.units)
        if (Chosen(unit, line.devices, since)) units.push_back(std::move(unit));
    std::stable_sort(units.begin(), units.end(), [](const UnitRecord& a, const UnitRecord& b) {
        return a.startMs > b.startMs;
    });
    ShowUnits(output, units, language);
    output.Result(SummaryLine(Summarize(units), language));
    if (line.json) output.Json(HistoryDocument(path, units, contents, nullptr));
    return ExitCode::Done;
}

}  // namespace fwup
