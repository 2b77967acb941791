#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fwup {

// The SHA-256 digest of the bytes as 64 lowercase hexadecimal digits: how the
// units' record names the image each unit was given, so that a file on disk
// (sha256sum) can be matched against it.
std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

}  // namespace fwup
