#pragma once

#include "devicestate.h"

#include <QByteArray>

namespace talixsim {

// Update files that follow the simulator's flash convention (flash.h), for tests and demos.
//
// Header, 26 bytes, little-endian, signed:
//   0 1 marker 100   1 1 zero   2 4 version (major << 16 | minor << 8 | build)
//   6 4 HwMin   10 4 HwMax   14 4 BootMin   18 4 BootMax   22 4 TotalBytes
// then records: address 4, length 2, data (length bytes).

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
