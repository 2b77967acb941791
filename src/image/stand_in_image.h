#pragma once

#include <cstdint>

#include "image/firmware_image.h"

namespace fwup {

// The repository carries a stand-in image with the exact layout of the
// device's own, so that everything builds and tests without it. A device
// would accept it, and be left with firmware that is not its own: a program
// that carries it must never change real hardware.

// The UTF-16 notice the stand-in carries in its last segment.
inline constexpr char kStandInNotice[] =
    "Stand-in firmware image for tests and the demo. Not a device program.";

// The stand-in as committed: its size and its FNV-1a 64-bit digest.
inline constexpr std::uint32_t kStandInImageSize = 45637;
inline constexpr std::uint64_t kStandInImageDigest = 0x67276cbe20909a40ull;

std::uint64_t Fnv1a64(const std::uint8_t* bytes, std::uint64_t count);

// True for the committed stand-in, and for any image that carries its notice
// (a stand-in made again with other bytes).
bool IsStandInImage(FirmwareImage image);

}  // namespace fwup
