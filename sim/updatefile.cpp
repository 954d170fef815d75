#include "updatefile.h"

#include "flash.h"

#include <algorithm>

namespace talixsim {

namespace {

void putLE(QByteArray& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray updateImage(const UpdateFileSpec& spec)
{
    const int size = std::max(spec.size, int(kTagOffset) + 7);
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + 3 + spec.seed) & 0xFF);
    const QByteArray tag = versionTag(spec.version);
    image.replace(int(kTagOffset), tag.size(), tag);
    return image;
}

QByteArray makeUpdateFile(const UpdateFileSpec& spec)
{
    const QByteArray image = updateImage(spec);
    const quint32 base = spec.region == Region::Bootloader ? kBootBase : kFirmBase;
    QByteArray out;
    out.append(char(100));
    out.append('\0');
    putLE(out, versionValue(spec.version), 4);
    putLE(out, spec.hwMin, 4);
    putLE(out, spec.hwMax, 4);
    putLE(out, spec.bootMin, 4);
    putLE(out, spec.bootMax, 4);
    putLE(out, quint32(spec.totalBytes >= 0 ? spec.totalBytes : image.size()), 4);
    const int step = std::max(1, spec.recordLength);
    for (int at = 0; at < image.size(); at += step) {
        const int length = std::min(step, int(image.size()) - at);
        putLE(out, base + quint32(at), 4);
        putLE(out, quint32(length), 2);
        out.append(image.mid(at, length));
    }
    return out;
}

QByteArray makeUpdateFile(Region region, const Version3& version, int size)
{
    UpdateFileSpec spec;
    spec.region = region;
    spec.version = version;
    spec.size = size;
    return makeUpdateFile(spec);
}

} // namespace talixsim
