// The program's load configuration record. The loader finds it through the
// header's load-configuration entry, which the build fills in after linking
// (tools/fill_load_config.cpp): the linker keeps the record by its name.

#include "app/windows/load_configuration.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

constexpr fwup::LoadConfigLayout kLayout =
    sizeof(void*) == 8 ? fwup::kLoadConfig64 : fwup::kLoadConfig32;

using Record = std::array<std::uint8_t, kLayout.size>;

constexpr void PutLittleEndian(Record& record, std::size_t offset, std::uint32_t value,
                               std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
        record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr Record MakeRecord() {
    Record record{};
    PutLittleEndian(record, 0, kLayout.size, 4);
    PutLittleEndian(record, kLayout.dependentLoadFlagsOffset, fwup::kDependentLoadFlags, 2);
    return record;
}

}  // namespace

// Aligned to a pointer, as the loader expects.
extern "C" [[gnu::used]] alignas(8) const Record _load_config_used = MakeRecord();
