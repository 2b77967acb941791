#pragma once

namespace fwup {

// What the commands speak to: devices on the bus, or a simulation of them.
// Each caller names it; there is no default.
enum class Hardware { Real, Simulated };

// The image the program carries: the device's own firmware, or the stand-in
// test image.
enum class CarriedImage { DeviceFirmware, StandIn };

// A program that carries the stand-in image and speaks to real hardware finds
// and identifies the device but changes nothing.
inline bool ChangesNothing(CarriedImage image, Hardware hardware) {
    return image == CarriedImage::StandIn && hardware == Hardware::Real;
}

}  // namespace fwup
