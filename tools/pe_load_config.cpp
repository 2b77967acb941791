#include "pe_load_config.h"

#include <cstddef>

#include "app/windows/load_configuration.h"

namespace fwup::pe {
namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kLoadConfigEntry = 10;
constexpr std::size_t kSectionHeaderSize = 40;

std::uint64_t Get(const std::vector<std::uint8_t>& file, std::size_t offset, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(file[offset + i]) << (8 * i);
    return value;
}

void Put32(std::vector<std::uint8_t>& file, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// What the patch needs of the headers; offsets are into the file.
struct Headers {
    bool plus = false;  // PE32+
    std::uint64_t imageBase = 0;
    std::size_t checksumField = 0;
    std::size_t loadConfigEntry = 0;
    std::size_t sectionTable = 0;
    std::uint32_t sectionCount = 0;
};

bool Fits(const std::vector<std::uint8_t>& file, std::size_t offset, std::size_t bytes) {
    return offset <= file.size() && bytes <= file.size() - offset;
}

std::optional<Headers> ReadHeaders(const std::vector<std::uint8_t>& file) {
    if (!Fits(file, 0, 0x40) || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    const std::size_t pe = Get(file, 0x3C, 4);
    if (!Fits(file, pe, 24) || Get(file, pe, 4) != 0x00004550) return std::nullopt;  // "PE\0\0"
    const std::size_t optional = pe + 24;
    const std::size_t optionalSize = Get(file, pe + 20, 2);
    if (!Fits(file, optional, optionalSize) || optionalSize < 2) return std::nullopt;
    Headers headers;
    const std::uint64_t magic = Get(file, optional, 2);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
    headers.plus = magic == kPe32PlusMagic;
    const std::size_t countField = optional + (headers.plus ? 108 : 92);
    const std::size_t directory = countField + 4;
    headers.loadConfigEntry = directory + 8 * kLoadConfigEntry;
    if (headers.loadConfigEntry + 8 > optional + optionalSize ||
        Get(file, countField, 4) <= kLoadConfigEntry)
        return std::nullopt;
    headers.imageBase = headers.plus ? Get(file, optional + 24, 8) : Get(file, optional + 28, 4);
    headers.checksumField = optional + 64;
    headers.sectionTable = optional + optionalSize;
    headers.sectionCount = static_cast<std::uint32_t>(Get(file, pe + 6, 2));
    if (!Fits(file, headers.sectionTable, headers.sectionCount * kSectionHeaderSize))
        return std::nullopt;
    return headers;
}

// The file offset of `rva` and how many bytes of its section's data follow
// it in the file; none when no section's data holds it.
struct Placement {
    std::size_t offset;
    std::size_t available;
};

std::optional<Placement> Place(const std::vector<std::uint8_t>& file, const Headers& headers,
                               std::uint64_t rva) {
    for (std::uint32_t i = 0; i < headers.sectionCount; ++i) {
        const std::size_t section = headers.sectionTable + i * kSectionHeaderSize;
        const std::uint64_t virtualSize = Get(file, section + 8, 4);
        const std::uint64_t start = Get(file, section + 12, 4);
        const std::uint64_t rawSize = Get(file, section + 16, 4);
        const std::uint64_t rawStart = Get(file, section + 20, 4);
        const std::uint64_t length = virtualSize < rawSize ? virtualSize : rawSize;
        if (rva < start || rva >= start + length || !Fits(file, rawStart, length)) continue;
        return Placement{static_cast<std::size_t>(rawStart + (rva - start)),
                         static_cast<std::size_t>(start + length - rva)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> RecordAddressFromMap(std::string_view map) {
    // A symbol's line: its address and its name, nothing else. The map
    // writes the 32-bit name without its leading underscore; either is taken.
    std::size_t lineStart = 0;
    while (lineStart < map.size()) {
        std::size_t lineEnd = map.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = map.size();
        std::string_view tokens[3];
        std::size_t count = 0;
        std::size_t at = lineStart;
        while (at < lineEnd && count < 3) {
            while (at < lineEnd && (map[at] == ' ' || map[at] == '\t' || map[at] == '\r')) ++at;
            const std::size_t start = at;
            while (at < lineEnd && map[at] != ' ' && map[at] != '\t' && map[at] != '\r') ++at;
            if (at > start) tokens[count++] = map.substr(start, at - start);
        }
        if (count == 2 && (tokens[1] == "_load_config_used" || tokens[1] == "__load_config_used") &&
            tokens[0].size() > 2 && tokens[0].size() <= 18 && tokens[0].substr(0, 2) == "0x") {
            std::uint64_t address = 0;
            bool hex = true;
            for (char digit : tokens[0].substr(2)) {
                const int value = digit >= '0' && digit <= '9'   ? digit - '0'
                                  : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                                  : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                                 : -1;
                hex = hex && value >= 0;
                address = address << 4 | static_cast<std::uint64_t>(value & 0xF);
            }
            if (hex) return address;
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

FillOutcome FillLoadConfigEntry(std::vector<std::uint8_t>& file, std::uint64_t address) {
    FillOutcome outcome;
    const std::optional<Headers> headers = ReadHeaders(file);
    if (!headers) return outcome;
    outcome.result = FillResult::kRecordOutsideFile;
    if (address < headers->imageBase || address - headers->imageBase > UINT32_MAX) return outcome;
    const std::uint64_t rva = address - headers->imageBase;
    const std::optional<Placement> place = Place(file, *headers, rva);
    if (!place || place->available < 4) return outcome;
    const auto size = static_cast<std::uint32_t>(Get(file, place->offset, 4));
    if (size > place->available) return outcome;
    outcome.result = FillResult::kRecordMisaligned;
    if (rva % (headers->plus ? 8 : 4) != 0) return outcome;
    const LoadConfigLayout& layout = headers->plus ? kLoadConfig64 : kLoadConfig32;
    outcome.result = FillResult::kRecordTooShort;
    if (size < layout.dependentLoadFlagsOffset + 2) return outcome;

    Put32(file, headers->loadConfigEntry, static_cast<std::uint32_t>(rva));
    Put32(file, headers->loadConfigEntry + 4, size);
    Put32(file, headers->checksumField, PeChecksum(file, headers->checksumField));
    return {FillResult::kFilled, static_cast<std::uint32_t>(rva), size};
}

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file, std::size_t fieldOffset) {
    // The 16-bit one's-complement-style sum of the file, its own field left
    // out, plus the file's length.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        if (i >= fieldOffset && i < fieldOffset + 4) continue;
        sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint32_t>(sum + file.size());
}

const char* Describe(FillResult result) {
    switch (result) {
        case FillResult::kFilled: return "filled";
        case FillResult::kNotAProgram: return "not a PE program with a load-configuration entry";
        case FillResult::kRecordOutsideFile: return "the record lies outside the file's section data";
        case FillResult::kRecordMisaligned: return "the record is not aligned to a pointer";
        case FillResult::kRecordTooShort: return "the record's size does not cover DependentLoadFlags";
    }
    return "unknown";
}

}  // namespace fwup::pe
