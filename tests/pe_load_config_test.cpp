// The step after linking the Windows program: finding the load configuration
// record in the linker's map and pointing the header's entry at it, in
// 32-bit and 64-bit files reduced to what the step reads.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe_load_config.h"

namespace fwup::pe {
namespace {

constexpr std::uint64_t kBase32 = 0x400000;
constexpr std::uint64_t kBase64 = 0x140000000;
constexpr std::size_t kOptional = 0x58;  // after "PE\0\0" at 0x40 and the file header

void Put(std::vector<std::uint8_t>& file, std::size_t offset, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::vector<std::uint8_t>& file, std::size_t offset) {
    std::uint64_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint64_t>(file[offset + i]) << (8 * i);
    return value;
}

std::size_t EntryOffset(bool plus) { return kOptional + (plus ? 112 : 96) + 10 * 8; }
std::size_t ChecksumOffset() { return kOptional + 64; }

// One section of 0x200 bytes at RVA 0x1000 (file offset 0x200); a record
// whose size field says `recordSize` at `recordRva` when the section holds it.
std::vector<std::uint8_t> MakeProgram(bool plus, std::uint32_t recordRva, std::uint32_t recordSize) {
    std::vector<std::uint8_t> file(0x400, 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put(file, 0x3C, 0x40, 4);
    Put(file, 0x40, 0x00004550, 4);
    Put(file, 0x44, plus ? 0x8664 : 0x14C, 2);
    Put(file, 0x46, 1, 2);                         // sections
    Put(file, 0x54, plus ? 0xF0 : 0xE0, 2);        // optional header size
    Put(file, kOptional, plus ? 0x20B : 0x10B, 2);
    if (plus)
        Put(file, kOptional + 24, kBase64, 8);
    else
        Put(file, kOptional + 28, kBase32, 4);
    Put(file, kOptional + (plus ? 108 : 92), 16, 4);  // directory entries
    const std::size_t section = kOptional + (plus ? 0xF0 : 0xE0);
    Put(file, section + 8, 0x200, 4);
    Put(file, section + 12, 0x1000, 4);
    Put(file, section + 16, 0x200, 4);
    Put(file, section + 20, 0x200, 4);
    if (recordRva >= 0x1000 && recordRva + 4 <= 0x1200) Put(file, 0x200 + recordRva - 0x1000, recordSize, 4);
    return file;
}

TEST(FillLoadConfigEntry, PointsTheEntryAtAWellFormedRecordOnly) {
    struct Case {
        const char* name;
        bool plus;
        std::uint32_t rva;
        std::uint32_t size;
        std::int64_t addressShift;  // added to ImageBase + rva
        FillResult expected;
    };
    const Case cases[] = {
        {"32-bit", false, 0x1010, 0x5C, 0, FillResult::kFilled},
        {"64-bit", true, 0x1010, 0x94, 0, FillResult::kFilled},
        {"32-bit, ends with DependentLoadFlags", false, 0x1010, 0x38, 0, FillResult::kFilled},
        {"32-bit, one byte short of it", false, 0x1010, 0x37, 0, FillResult::kRecordTooShort},
        {"64-bit, ends with DependentLoadFlags", true, 0x1010, 0x50, 0, FillResult::kFilled},
        {"64-bit, one byte short of it", true, 0x1010, 0x4F, 0, FillResult::kRecordTooShort},
        {"32-bit, on 4 bytes", false, 0x1014, 0x5C, 0, FillResult::kFilled},
        {"64-bit, on 4 bytes", true, 0x1014, 0x94, 0, FillResult::kRecordMisaligned},
        {"runs past its section", false, 0x11C0, 0x5C, 0, FillResult::kRecordOutsideFile},
        {"in no section", true, 0x3000, 0x94, 0, FillResult::kRecordOutsideFile},
        {"below the image base", false, 0x1010, 0x5C, -static_cast<std::int64_t>(kBase32),
         FillResult::kRecordOutsideFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> file = MakeProgram(c.plus, c.rva, c.size);
        const std::vector<std::uint8_t> before = file;
        const std::uint64_t address = (c.plus ? kBase64 : kBase32) + c.rva + c.addressShift;
        const FillOutcome outcome = FillLoadConfigEntry(file, address);
        EXPECT_EQ(outcome.result, c.expected);
        if (c.expected != FillResult::kFilled) {
            EXPECT_EQ(file, before);
            continue;
        }
        EXPECT_EQ(Get(file, EntryOffset(c.plus)), c.rva);
        EXPECT_EQ(Get(file, EntryOffset(c.plus) + 4), c.size);
        EXPECT_EQ(Get(file, ChecksumOffset()), PeChecksum(file, ChecksumOffset()));
    }
}

TEST(FillLoadConfigEntry, RefusesWhatIsNotAProgram) {
    std::vector<std::uint8_t> noSignature = MakeProgram(false, 0x1010, 0x5C);
    noSignature[0x40] = 'X';
    std::vector<std::uint8_t> tooFewEntries = MakeProgram(true, 0x1010, 0x94);
    Put(tooFewEntries, kOptional + 108, 10, 4);
    for (std::vector<std::uint8_t>* file : {&noSignature, &tooFewEntries})
        EXPECT_EQ(FillLoadConfigEntry(*file, kBase32 + 0x1010).result, FillResult::kNotAProgram);
}

// 0xFFFF + 0x0005 carries around to 0x0005, the field (FF..) is left out, the
// odd last byte counts, and the length (9) is added.
TEST(PeChecksum, SumsThe16BitWordsWithCarriesAroundAndAddsTheLength) {
    const std::vector<std::uint8_t> file{0xFF, 0xFF, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x07};
    EXPECT_EQ(PeChecksum(file, 4), 0x05u + 0x07u + 9u);
}

TEST(RecordAddressFromMap, ReadsTheRecordsLineAndNoOther) {
    struct Case {
        std::string map;
        std::optional<std::uint64_t> expected;
    };
    const Case cases[] = {
        {" .rdata  0x00418260  0x5c obj.o\n                0x00418260                _load_config_used\n",
         0x418260},
        {"                0x0000000140014220                _load_config_used\r\n", 0x140014220},
        {"0x1000 __load_config_used", 0x1000},
        {"                0x00418260                _load_config_used_copy\n", std::nullopt},
        {"                0x0041826g                _load_config_used\n", std::nullopt},
        {" .rdata  0x00418260  _load_config_used obj.o\n", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(RecordAddressFromMap(c.map), c.expected) << c.map;
}

}  // namespace
}  // namespace fwup::pe
