#include "sim/flash.h"

#include <algorithm>

namespace talixsim {

namespace {

void putTag(QByteArray& flash, quint32 base, const Version3& version)
{
    const QByteArray tag = versionTag(version);
    flash.replace(int(base + kTagOffset), tag.size(), tag);
}

// The version of a valid tag at base + 0x10, or nothing.
bool readTag(const QByteArray& flash, quint32 base, Version3& version)
{
    const int at = int(base + kTagOffset);
    if (flash.size() < at + 7 || flash.mid(at, 4) != "TALX")
        return false;
    version = {quint8(flash[at + 4]), quint8(flash[at + 5]), quint8(flash[at + 6])};
    return true;
}

} // namespace

QByteArray versionTag(const Version3& version)
{
    QByteArray tag("TALX");
    for (quint8 b : version)
        tag.append(char(b));
    return tag;
}

void materializeFlash(DeviceState& device)
{
    if (device.flash.size() == int(kFlashSize))
        return;
    device.flash = QByteArray(int(kFlashSize), char(kErased));
    putTag(device.flash, kBootBase, device.boot);
    if (versionValue(device.firm) != 0)
        putTag(device.flash, kFirmBase, device.firm);
}

void eraseFirmware(DeviceState& device)
{
    materializeFlash(device);
    // In place: the image keeps its memory from one update to the next.
    char* flash = device.flash.data();
    std::fill(flash + kFirmBase, flash + kFlashSize, char(kErased));
    device.firm = {0, 0, 0};
}

bool writeFlash(DeviceState& device, quint32 address, const QByteArray& data)
{
    if (address > kFlashSize || quint32(data.size()) > kFlashSize - address)
        return false;
    materializeFlash(device);
    std::copy(data.cbegin(), data.cend(), device.flash.data() + address);
    return true;
}

void restartFromFlash(DeviceState& device)
{
    if (device.flash.isEmpty())
        return; // factory images: the versions stand
    Version3 v;
    if (readTag(device.flash, kBootBase, v))
        device.boot = v;
    device.firm = readTag(device.flash, kFirmBase, v) ? v : Version3{0, 0, 0};
}

} // namespace talixsim
