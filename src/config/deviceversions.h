#pragma once

#include <QtGlobal>

namespace brevion {

// The versions of the device last read, shared by the configuration and update windows. A
// version's bytes major, minor, build combine as major * 65536 + minor * 256 + build; a firmware
// version of 0 means the device has no firmware. Both stay 0 until a settings reply has been
// accepted; they choose the layout of the next save.
struct DeviceVersions {
    qint32 BootVersion = 0;
    qint32 FirmVersion = 0;
    bool operator==(const DeviceVersions&) const = default;
};

DeviceVersions& SharedVersions();

} // namespace brevion
