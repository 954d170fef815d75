#pragma once

#include "sim/devicestate.h"

#include <QByteArray>

namespace talixsim {

// Update files (laid out in wireformat.h) whose images follow the simulator's flash convention
// (flash.h), for tests and demos: records of recordLength bytes from the region base onward.

enum class Region { Bootloader, Firmware };

struct UpdateFileRecipe {
    Region region = Region::Firmware;
    Version3 version{1, 0, 17};
    int size = 4096;       // bytes of image from the region base, at least 0x17 (the tag)
    int recordLength = 64; // bytes per record (the last may be shorter)
    quint32 hwMin = 0x0000, hwMax = 0xFFFF;
    quint32 bootMin = 0x000000, bootMax = 0xFFFFFF;
    qint32 totalBytes = -1; // -1: the true data byte count
    quint8 seed = 0;        // varies the filler bytes
    bool tagged = true;     // false: the image lacks its version tag, so a restart finds no firmware
};

// The image bytes (region base onward): filler, the version tag at +0x10 (unless untagged), filler.
QByteArray updateImage(const UpdateFileRecipe& recipe);
QByteArray makeUpdateFile(const UpdateFileRecipe& recipe);
QByteArray makeUpdateFile(Region region, const Version3& version, int size = 4096);

} // namespace talixsim
