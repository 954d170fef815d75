#include "sim/updateimage.h"

#include "sim/flash.h"
#include "wire/wireformat.h"

#include <algorithm>

namespace talixsim {

namespace wire = brevion::wire;

QByteArray updateImage(const UpdateFileRecipe& recipe)
{
    const int size = std::max(recipe.size, int(kTagOffset) + 7);
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + 3 + recipe.seed) & 0xFF);
    if (recipe.tagged) {
        const QByteArray tag = versionTag(recipe.version);
        image.replace(int(kTagOffset), tag.size(), tag);
    }
    return image;
}

QByteArray makeUpdateFile(const UpdateFileRecipe& recipe)
{
    const QByteArray image = updateImage(recipe);
    const quint32 base = recipe.region == Region::Bootloader ? kBootBase : kFirmBase;
    const int step = std::max(1, recipe.recordLength);
    const int records = (int(image.size()) + step - 1) / step;
    QByteArray out(wire::kUpdateHeaderBytes + records * wire::kRecordHeaderBytes + image.size(), '\0');
    uchar* p = wire::U(out.data());
    p[0] = wire::kUpdateMarker;
    wire::PutLe32(p + wire::kFileVersion, versionValue(recipe.version));
    wire::PutLe32(p + wire::kFileHwMin, recipe.hwMin);
    wire::PutLe32(p + wire::kFileHwMax, recipe.hwMax);
    wire::PutLe32(p + wire::kFileBootMin, recipe.bootMin);
    wire::PutLe32(p + wire::kFileBootMax, recipe.bootMax);
    wire::PutLe32(p + wire::kFileTotalBytes, quint32(recipe.totalBytes >= 0 ? recipe.totalBytes : image.size()));
    uchar* record = p + wire::kUpdateHeaderBytes;
    for (int at = 0; at < image.size(); at += step) {
        const int length = std::min(step, int(image.size()) - at);
        wire::PutLe32(record + wire::kRecordAddress, base + quint32(at));
        wire::PutLe16(record + wire::kRecordLength, quint32(length));
        std::copy_n(image.constData() + at, length, record + wire::kRecordHeaderBytes);
        record += wire::kRecordHeaderBytes + length;
    }
    return out;
}

QByteArray makeUpdateFile(Region region, const Version3& version, int size)
{
    UpdateFileRecipe recipe;
    recipe.region = region;
    recipe.version = version;
    recipe.size = size;
    return makeUpdateFile(recipe);
}

} // namespace talixsim
