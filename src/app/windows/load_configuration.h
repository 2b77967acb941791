#pragma once

// The program's load configuration record: where the loader reads the
// fields the program sets, in a 32-bit (PE32) and a 64-bit (PE32+) file.
// The record's first field is its size; the loader reads only the fields it
// covers. This layout (Windows 8.1 on) ends with GuardFlags, which the
// program leaves 0: its code carries no control-flow guard checks.

#include <cstdint>

namespace fwup {

struct LoadConfigLayout {
    std::uint32_t size;
    std::uint32_t dependentLoadFlagsOffset;  // 16 bits
    std::uint32_t guardFlagsOffset;          // 32 bits, the last field
};

constexpr LoadConfigLayout kLoadConfig32{0x5C, 0x36, 0x58};
constexpr LoadConfigLayout kLoadConfig64{0x94, 0x4E, 0x90};

// DependentLoadFlags: the DLLs the program's imports pull in come from the
// system folder only (LOAD_LIBRARY_SEARCH_SYSTEM32).
constexpr std::uint16_t kDependentLoadFlags = 0x0800;

}  // namespace fwup
