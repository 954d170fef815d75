#pragma once

#include "sim/devicestate.h"

#include <QByteArray>

namespace talixsim {

// The simulated flash memory and how a restart learns its versions from it.
//
//   0x00000 - 0x03FFF  bootloader region
//   0x04000 - 0xFFFFF  firmware region
//   erased bytes read 0xFF
//
// An image carries a version tag at its region base + 0x10 (0x00010 and 0x04010):
//   +0  4  "TALX"
//   +4  3  major, minor, build
// On restart a valid tag in the bootloader region sets the bootloader version (an invalid one
// leaves it as it was); a valid tag at 0x04010 sets the firmware version, otherwise the firmware
// is 0.0.0 (erased). An erase fills the firmware region with 0xFF and sets the firmware 0.0.0.
//
// A device starts with its factory images: DeviceState::flash stays empty (no 1 MiB per
// device) until the first erase or block write, which lays out the full image with the tags of
// the device's current versions.

constexpr quint32 kFlashSize = 0x100000;
constexpr quint32 kBootBase = 0x00000;
constexpr quint32 kBootEnd = 0x04000; // one past the bootloader region
constexpr quint32 kFirmBase = 0x04000;
constexpr quint32 kTagOffset = 0x10;
constexpr quint8 kErased = 0xFF;

QByteArray versionTag(const Version3& version); // "TALX" major minor build

// Lays out the full flash image if the device still holds its factory images.
void materializeFlash(DeviceState& device);
void eraseFirmware(DeviceState& device);
// Writes data at address; false when it would run past the end of the flash.
bool writeFlash(DeviceState& device, quint32 address, const QByteArray& data);
// Takes the versions from the flash tags, as a restart does.
void restartFromFlash(DeviceState& device);

} // namespace talixsim
