#include "app/terminal/unit_record.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/device_model.h"

namespace fwup {
namespace {

using Json = nlohmann::ordered_json;

struct OutcomeName {
    UnitOutcome outcome;
    const char* name;
};
constexpr std::array<OutcomeName, 11> kOutcomeNames{{
    {UnitOutcome::Unfinished, "unfinished"},
    {UnitOutcome::Confirmed, "confirmed"},
    {UnitOutcome::UpToDate, "up-to-date"},
    {UnitOutcome::NotCompared, "not-compared"},
    {UnitOutcome::WrongVersion, "wrong-version"},
    {UnitOutcome::DidNotStart, "did-not-start"},
    {UnitOutcome::WrittenNotConfirmed, "written-not-confirmed"},
    {UnitOutcome::ErasedNotWritten, "erased-not-written"},
    {UnitOutcome::Failed, "failed"},
    {UnitOutcome::Refused, "refused"},
    {UnitOutcome::Interrupted, "interrupted"},
}};
static_assert(static_cast<int>(UnitOutcome::Interrupted) + 1 == kOutcomeNames.size());

struct StepName {
    UnitStep step;
    const char* name;
};
constexpr std::array<StepName, 6> kStepNames{{
    {UnitStep::Read, "read"},
    {UnitStep::Erase, "erase"},
    {UnitStep::ReplugToVendor, "replug"},
    {UnitStep::Download, "download"},
    {UnitStep::ReplugToStorage, "replug-to-confirm"},
    {UnitStep::Confirm, "confirm"},
}};
static_assert(static_cast<int>(UnitStep::Confirm) + 1 == kStepNames.size());

// --- Calendar: days since 1970-01-01 from a proleptic Gregorian date and
// back, in eras of 400 years that begin on 1 March (the leap day last).

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const unsigned shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month =
        static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The decimal number written in the digits at text[at, at + count), or none.
std::optional<unsigned> Digits(std::string_view text, std::size_t at, std::size_t count) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

// The number written in hexadecimal digits, either case; none for any other
// text, or one of more than eight digits.
std::optional<std::uint32_t> HexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// "2.40" back to 0x0240, as FormatVersion writes it: one or two digits of
// the major part, a full stop, two of the minor.
std::optional<std::uint16_t> ReadVersion(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == 0 || dot > 2 || text.size() != dot + 3) return std::nullopt;
    const std::optional<std::uint32_t> major = HexNumber(text.substr(0, dot));
    const std::optional<std::uint32_t> minor = HexNumber(text.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return static_cast<std::uint16_t>(*major << 8 | *minor);
}

// --- Writing a line.

Json VersionJson(const std::optional<std::uint16_t>& version) {
    return version ? Json(std::string(FormatVersion(*version).View())) : Json(nullptr);
}

Json UserIdJson(const std::optional<std::uint32_t>& userId) {
    if (!userId) return nullptr;
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(*userId));
    return text;
}

Json StepsJson(const std::vector<StepTime>& steps) {
    Json object = Json::object();
    for (const StepTime& step : steps) object[UnitStepName(step.step)] = step.milliseconds;
    return object;
}

// --- Reading a line: each field checked for its kind; a field missing or of
// another kind marks the line cut.

class FieldReader {
public:
    explicit FieldReader(const Json& object) : object_(object) {}
    bool Complete() const { return complete_; }

    std::string Text(const char* name) {
        const Json* field = Find(name);
        if (field == nullptr || !field->is_string()) return Missing(std::string());
        return field->get<std::string>();
    }
    std::int64_t Time(const char* name) {
        const std::optional<std::int64_t> ms = ReadIsoUtc(Text(name));
        return ms ? *ms : Missing(std::int64_t{0});
    }
    std::optional<std::uint16_t> Version(const char* name) {
        const Json* field = Find(name);
        if (field != nullptr && field->is_null()) return std::nullopt;
        if (field == nullptr || !field->is_string()) return Missing(std::nullopt);
        const std::optional<std::uint16_t> version = ReadVersion(field->get<std::string>());
        return version ? version : Missing(std::nullopt);
    }
    std::optional<std::uint32_t> UserId(const char* name) {
        const Json* field = Find(name);
        if (field != nullptr && field->is_null()) return std::nullopt;
        if (field == nullptr || !field->is_string()) return Missing(std::nullopt);
        const std::string text = field->get<std::string>();
        const std::optional<std::uint32_t> value =
            text.size() == 10 && text.compare(0, 2, "0x") == 0 ? HexNumber(text.substr(2))
                                                                : std::nullopt;
        return value ? value : Missing(std::nullopt);
    }
    RecordedImage Image(const char* name) {
        const Json* field = Find(name);
        if (field == nullptr || !field->is_object()) return Missing(RecordedImage{});
        FieldReader inner(*field);
        RecordedImage image;
        image.sha256 = inner.Text("sha256");
        image.version = inner.Version("version");
        const Json* size = inner.Find("size");
        if (size != nullptr && size->is_number_unsigned()) image.size = size->get<std::uint64_t>();
        else complete_ = false;
        complete_ = complete_ && inner.Complete();
        return image;
    }
    UnitOutcome Outcome(const char* name) {
        const std::optional<UnitOutcome> outcome = UnitOutcomeNamed(Text(name));
        return outcome ? *outcome : Missing(UnitOutcome::Unfinished);
    }
    std::optional<UnitStep> FailedStep(const char* name) {
        const Json* field = Find(name);
        if (field != nullptr && field->is_null()) return std::nullopt;
        const std::optional<UnitStep> step = UnitStepNamed(Text(name));
        return step ? step : Missing(std::nullopt);
    }
    std::vector<StepTime> Steps(const char* name) {
        const Json* field = Find(name);
        if (field == nullptr || !field->is_object()) return Missing(std::vector<StepTime>{});
        std::vector<StepTime> steps;
        for (const auto& [stepName, ms] : field->items()) {
            const std::optional<UnitStep> step = UnitStepNamed(stepName);
            if (!step || !ms.is_number_integer()) return Missing(std::vector<StepTime>{});
            steps.push_back({*step, ms.get<std::int64_t>()});
        }
        return steps;
    }

private:
    const Json* Find(const char* name) const {
        const auto found = object_.find(name);
        return found == object_.end() ? nullptr : &*found;
    }
    template <typename Value>
    Value Missing(Value value) {
        complete_ = false;
        return value;
    }

    const Json& object_;
    bool complete_ = true;
};

}  // namespace

bool Passed(UnitOutcome outcome) {
    return outcome == UnitOutcome::Confirmed || outcome == UnitOutcome::UpToDate ||
           outcome == UnitOutcome::NotCompared;
}

bool Failed(UnitOutcome outcome) { return outcome != UnitOutcome::Unfinished && !Passed(outcome); }

const char* UnitOutcomeName(UnitOutcome outcome) {
    return kOutcomeNames[static_cast<std::size_t>(outcome)].name;
}

std::optional<UnitOutcome> UnitOutcomeNamed(std::string_view name) {
    for (const OutcomeName& entry : kOutcomeNames)
        if (name == entry.name) return entry.outcome;
    return std::nullopt;
}

const char* UnitStepName(UnitStep step) { return kStepNames[static_cast<std::size_t>(step)].name; }

std::optional<UnitStep> UnitStepNamed(std::string_view name) {
    for (const StepName& entry : kStepNames)
        if (name == entry.name) return entry.step;
    return std::nullopt;
}

std::int64_t UtcNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string IsoUtc(std::int64_t ms) {
    const std::int64_t days = FloorDiv(ms, 86400000);
    const std::int64_t ofDay = ms - days * 86400000;
    const CivilDate date = CivilFromDays(days);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year), date.month, date.day,
                  static_cast<int>(ofDay / 3600000), static_cast<int>(ofDay / 60000 % 60),
                  static_cast<int>(ofDay / 1000 % 60), static_cast<int>(ofDay % 1000));
    return text;
}

std::optional<std::int64_t> ReadIsoUtc(std::string_view text) {
    // 2026-12-09T12:05:18Z or 2026-12-09T12:05:18.123Z
    const bool withMs = text.size() == 24;
    if (!withMs && text.size() != 20) return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text.back() != 'Z' || (withMs && text[19] != '.'))
        return std::nullopt;
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2),
               hour = Digits(text, 11, 2), minute = Digits(text, 14, 2),
               second = Digits(text, 17, 2);
    const auto ms = withMs ? Digits(text, 20, 3) : std::optional<unsigned>(0);
    if (!year || !month || !day || !hour || !minute || !second || !ms) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month) ||
        *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    const std::int64_t seconds = DaysFromCivil(*year, *month, *day) * 86400 +
                                 std::int64_t{*hour} * 3600 + *minute * 60 + *second;
    return seconds * 1000 + *ms;
}

std::string RecordLine(const UnitRecord& record) {
    const bool end = record.endMs.has_value();
    Json line{{"schema", kUnitRecordSchema},
              {"record", end ? "end" : "start"},
              {"unit", record.unit},
              {"program", record.program},
              {"host", record.host},
              {"port", record.port},
              {"storage_serial", record.storageSerial},
              {"vendor_serial", record.vendorSerial},
              {"start", IsoUtc(record.startMs)}};
    if (end) line["end"] = IsoUtc(*record.endMs);
    line["version_before"] = VersionJson(record.versionBefore);
    if (end) line["version_after"] = VersionJson(record.versionAfter);
    line["user_id"] = UserIdJson(record.userId);
    line["image"] = Json{{"sha256", record.image.sha256},
                         {"size", record.image.size},
                         {"version", VersionJson(record.image.version)}};
    if (end) {
        line["outcome"] = UnitOutcomeName(record.outcome);
        line["failed_step"] =
            record.failedStep ? Json(UnitStepName(*record.failedStep)) : Json(nullptr);
        line["detail"] = record.detail;
        line["steps"] = StepsJson(record.steps);
    }
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

RecordLineRead ReadRecordLine(std::string_view line) {
    RecordLineRead read;
    const Json object = Json::parse(line.begin(), line.end(), nullptr, false);
    if (!object.is_object()) return read;  // Cut
    // A whole object is never a line of ours cut short: without our schema
    // it is another program's.
    const auto schema = object.find("schema");
    if (schema == object.end() || *schema != kUnitRecordSchema) {
        read.kind = RecordLineRead::Foreign;
        return read;
    }
    FieldReader field(object);
    const std::string kind = field.Text("record");
    if (kind != "start" && kind != "end") return read;
    const bool end = kind == "end";
    UnitRecord& record = read.record;
    record.unit = field.Text("unit");
    record.program = field.Text("program");
    record.host = field.Text("host");
    record.port = field.Text("port");
    record.storageSerial = field.Text("storage_serial");
    record.vendorSerial = field.Text("vendor_serial");
    record.startMs = field.Time("start");
    record.versionBefore = field.Version("version_before");
    record.userId = field.UserId("user_id");
    record.image = field.Image("image");
    if (end) {
        record.endMs = field.Time("end");
        record.versionAfter = field.Version("version_after");
        record.outcome = field.Outcome("outcome");
        record.failedStep = field.FailedStep("failed_step");
        record.detail = field.Text("detail");
        record.steps = field.Steps("steps");
    }
    if (!field.Complete()) return RecordLineRead{};
    read.kind = end ? RecordLineRead::End : RecordLineRead::Start;
    return read;
}

}  // namespace fwup
