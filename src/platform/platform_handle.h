#pragma once

#include <cstdint>

namespace fwup {

// A file or volume handle as the platform gives it out. On Windows it is the
// HANDLE value itself; elsewhere a number the backend hands out.
using PlatformHandle = std::uintptr_t;

// All bits set: the one marker of a handle that is missing.
inline constexpr PlatformHandle kInvalidHandleValue = ~PlatformHandle{0};

}  // namespace fwup
