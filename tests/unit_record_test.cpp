// One line of the units' record, written and read back: the fields a line
// keeps, the lines a crash or another program leaves, and the times.
#include "app/terminal/unit_record.h"

#include <gtest/gtest.h>

#include <string>

namespace fwup::test {
namespace {

UnitRecord EndedUnit() {
    UnitRecord unit;
    unit.unit = "host-1796817918123-3";
    unit.program = "firmware-updater 1.0.0";
    unit.host = "bench-2";
    unit.port = "usb-1-2.3";
    unit.storageSerial = "AA0012";
    unit.vendorSerial = "VB0012";
    unit.startMs = 1796817918123;
    unit.endMs = 1796817978456;
    unit.versionBefore = 0x0237;
    unit.versionAfter = 0x0240;
    unit.userId = 0xFFFFFFFF;
    unit.image = {std::string(64, 'a'), 49152, 0x0240};
    unit.outcome = UnitOutcome::WrongVersion;
    unit.failedStep = UnitStep::Confirm;
    unit.detail = "came back at 2.37";
    unit.steps = {{UnitStep::Read, 120}, {UnitStep::Erase, 900}, {UnitStep::ReplugToVendor, 4000},
                  {UnitStep::Download, 30000}, {UnitStep::ReplugToStorage, 5000},
                  {UnitStep::Confirm, 80}};
    return unit;
}

// The field names and their order are what other programs read.
TEST(UnitRecordLine, EndLineKeepsEveryFieldUnderItsStableName) {
    const UnitRecord unit = EndedUnit();
    const std::string line = RecordLine(unit);
    EXPECT_EQ(line,
              R"({"schema":"firmware-updater-unit/1","record":"end","unit":"host-1796817918123-3",)"
              R"("program":"firmware-updater 1.0.0","host":"bench-2","port":"usb-1-2.3",)"
              R"("storage_serial":"AA0012","vendor_serial":"VB0012",)"
              R"("start":"2026-12-09T12:05:18.123Z","end":"2026-12-09T12:06:18.456Z",)"
              R"("version_before":"2.37","version_after":"2.40","user_id":"0xFFFFFFFF",)"
              R"("image":{"sha256":")" + std::string(64, 'a') +
                  R"(","size":49152,"version":"2.40"},"outcome":"wrong-version",)"
                  R"("failed_step":"confirm","detail":"came back at 2.37",)"
                  R"("steps":{"read":120,"erase":900,"replug":4000,"download":30000,)"
                  R"("replug-to-confirm":5000,"confirm":80}})");
    // Read back, it writes the same line: every field came back.
    const RecordLineRead read = ReadRecordLine(line);
    ASSERT_EQ(read.kind, RecordLineRead::End);
    EXPECT_EQ(RecordLine(read.record), line);
}

TEST(UnitRecordLine, StartLineHoldsWhatWasKnownOnArrival) {
    UnitRecord unit = EndedUnit();
    unit.endMs.reset();
    unit.versionBefore.reset();
    unit.image.version.reset();
    const std::string line = RecordLine(unit);
    for (const char* absent : {"\"end\"", "\"outcome\"", "\"steps\"", "\"version_after\""})
        EXPECT_EQ(line.find(absent), std::string::npos) << absent;
    EXPECT_NE(line.find(R"("version_before":null,"user_id":"0xFFFFFFFF")"), std::string::npos);
    const RecordLineRead read = ReadRecordLine(line);
    ASSERT_EQ(read.kind, RecordLineRead::Start);
    EXPECT_EQ(read.record.outcome, UnitOutcome::Unfinished);
    EXPECT_EQ(RecordLine(read.record), line);
}

TEST(UnitRecordLine, DeviceTextThatIsNotUtf8IsWrittenReplaced) {
    UnitRecord unit = EndedUnit();
    unit.storageSerial = std::string("AB\xFF\xC3", 4);
    unit.detail = "sense \x01\"quoted\"";
    const RecordLineRead read = ReadRecordLine(RecordLine(unit));
    ASSERT_EQ(read.kind, RecordLineRead::End);
    EXPECT_EQ(read.record.storageSerial, "AB\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(read.record.detail, unit.detail);
}

// However a crash cuts a line short, what is left is never taken for a unit.
TEST(UnitRecordLine, EveryLineCutShortIsCut) {
    const std::string line = RecordLine(EndedUnit());
    for (std::size_t size = 0; size < line.size(); ++size)
        ASSERT_EQ(ReadRecordLine(std::string_view(line).substr(0, size)).kind, RecordLineRead::Cut)
            << size;
}

struct LineCase {
    const char* name;
    std::string line;
    RecordLineRead::Kind kind;
};

// A whole end line with one field's text put in place of another (left
// whole where the text is not there, so that a case that expects a cut
// line then fails).
std::string EndLineWith(const std::string& from, const std::string& to) {
    std::string line = RecordLine(EndedUnit());
    const std::size_t at = line.find(from);
    return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

class LinesRead : public testing::TestWithParam<LineCase> {};

TEST_P(LinesRead, AsTheirKind) {
    EXPECT_EQ(ReadRecordLine(GetParam().line).kind, GetParam().kind) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinesRead,
    testing::Values(
        LineCase{"Text", "station started", RecordLineRead::Cut},
        LineCase{"Zeros", std::string(40, '\0'), RecordLineRead::Cut},
        LineCase{"OtherSchema", R"({"schema":"firmware-updater-unit/2","record":"end"})",
                 RecordLineRead::Foreign},
        LineCase{"NoSchema", R"({"time":1,"msg":"x"})", RecordLineRead::Foreign},
        LineCase{"KindUnknown", EndLineWith(R"("record":"end")", R"("record":"middle")"),
                 RecordLineRead::Cut},
        LineCase{"OutcomeUnknown", EndLineWith("wrong-version", "fine"), RecordLineRead::Cut},
        LineCase{"DayThatIsNot", EndLineWith("2026-12-09T12:05", "2026-02-30T12:05"),
                 RecordLineRead::Cut},
        LineCase{"UserIdNotHex", EndLineWith("0xFFFFFFFF", "0xFFFFFFFG"), RecordLineRead::Cut},
        LineCase{"VersionNotOne",
                 EndLineWith(R"("version_after":"2.40")", R"("version_after":"2.4")"),
                 RecordLineRead::Cut},
        LineCase{"StepUnknown", EndLineWith(R"("erase":900)", R"("wipe":900)"), RecordLineRead::Cut},
        LineCase{"NoFailedStep",
                 EndLineWith(R"("failed_step":"confirm")", R"("failed_step":null)"),
                 RecordLineRead::End}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

struct TimeCase {
    const char* name;
    std::int64_t ms;
    const char* text;
};

class IsoTimes : public testing::TestWithParam<TimeCase> {};

TEST_P(IsoTimes, WrittenAndReadBack) {
    EXPECT_EQ(IsoUtc(GetParam().ms), GetParam().text);
    EXPECT_EQ(ReadIsoUtc(GetParam().text), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(
    Utc, IsoTimes,
    testing::Values(TimeCase{"Epoch", 0, "1970-01-01T00:00:00.000Z"},
                    TimeCase{"BeforeEpoch", -1, "1969-12-31T23:59:59.999Z"},
                    TimeCase{"LeapDay", 1709251199999, "2024-02-29T23:59:59.999Z"},
                    TimeCase{"LeapDayOf2000", 951825600000, "2000-02-29T12:00:00.000Z"},
                    TimeCase{"PastThirtyTwoBits", 2147483648000, "2038-01-19T03:14:08.000Z"},
                    TimeCase{"NoLeapDayIn2100", 4107542400000, "2100-03-01T00:00:00.000Z"},
                    TimeCase{"Bench", 1796817918123, "2026-12-09T12:05:18.123Z"}),
    [](const testing::TestParamInfo<TimeCase>& info) { return info.param.name; });

TEST(IsoTimes, ReadsWholeSecondsAndRefusesWhatIsNoTime) {
    EXPECT_EQ(ReadIsoUtc("2026-12-09T12:05:18Z"), 1796817918000);
    for (const char* text : {"2026-02-29T00:00:00.000Z", "2100-02-29T00:00:00.000Z",
                             "2026-13-01T00:00:00.000Z", "2026-12-00T00:00:00.000Z",
                             "2026-12-09T24:00:00.000Z", "2026-12-09T12:60:00.000Z",
                             "2026-12-09 12:05:18.123Z", "2026-12-09T12:05:18.123",
                             "2026-12-09T12:05:18.12Z", "+026-12-09T12:05:18.123Z", ""})
        EXPECT_EQ(ReadIsoUtc(text), std::nullopt) << text;
}

TEST(UnitOutcomes, NamesReadBackAndEachIsPassedFailedOrUnfinished) {
    for (int i = 0; i <= static_cast<int>(UnitOutcome::Interrupted); ++i) {
        const auto outcome = static_cast<UnitOutcome>(i);
        EXPECT_EQ(UnitOutcomeNamed(UnitOutcomeName(outcome)), outcome) << i;
        EXPECT_EQ(Passed(outcome) + Failed(outcome) + (outcome == UnitOutcome::Unfinished), 1) << i;
    }
    for (int i = 0; i <= static_cast<int>(UnitStep::Confirm); ++i)
        EXPECT_EQ(UnitStepNamed(UnitStepName(static_cast<UnitStep>(i))), static_cast<UnitStep>(i));
}

}  // namespace
}  // namespace fwup::test
