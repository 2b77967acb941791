#pragma once

#include <cstdint>

namespace fwup {

// The interface detail record the platform fills: a 4-byte size field, then
// the path with its terminating zero. Its fixed head is the size field and the
// path's first character.
inline constexpr std::uint32_t kInterfaceDetailPathOffset = 4;
inline constexpr std::uint32_t kInterfaceDetailHeadSize = 5;

// A reported size below the fixed head cannot hold the record: filling in its
// size field would write past the allocation, so that index fails instead.
bool InterfaceDetailSizeUsable(std::uint32_t requiredSize);

// The fit test and the copy: the path is copied, with its zero, only when the
// capacity is at least the whole required size (size field, path, zero). The
// copy never reads past the record and always leaves a terminated path.
bool CopyInterfacePath(const char* detailPath, std::uint32_t requiredSize, char* path,
                       std::uint32_t capacity);

}  // namespace fwup
