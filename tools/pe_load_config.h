#pragma once

// The load-configuration entry of a linked Windows program. The loader finds
// the program's load configuration record (`_load_config_used`) only through
// this entry of the header's data directory, which Debian's mingw-w64 linker
// leaves empty. Works on 32-bit (PE32) and 64-bit (PE32+) files.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace fwup::pe {

enum class FillResult {
    kFilled,
    kNotAProgram,         // no PE header with a load-configuration entry
    kRecordOutsideFile,   // the record lies outside the file's section data
    kRecordMisaligned,    // not aligned to a pointer
    kRecordTooShort,      // its size field does not cover DependentLoadFlags
};

struct FillOutcome {
    FillResult result = FillResult::kNotAProgram;
    std::uint32_t rva = 0;   // the entry as written
    std::uint32_t size = 0;  // the record's own size field
};

// The record's address as the linker's map file lists it (ImageBase
// included); none when the map does not list it.
std::optional<std::uint64_t> RecordAddressFromMap(std::string_view map);

// Points the file's load-configuration entry at the record at `address`,
// with the record's own size as the entry's size, and writes the file's new
// checksum. The file is unchanged unless the result is kFilled.
// The loader checks the entry's size against the record's size field and
// reads the fields that size covers (lld and later binutils write the
// same). Windows XP wanted 64 in a 32-bit file and passes over a record of
// any other size; it has no DependentLoadFlags to read anyway.
FillOutcome FillLoadConfigEntry(std::vector<std::uint8_t>& file, std::uint64_t address);

// The PE checksum of the file, whose checksum field lies at `fieldOffset`.
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file, std::size_t fieldOffset);

const char* Describe(FillResult result);

}  // namespace fwup::pe
