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
    QByteArray out;
    out.append(char(100));
    out.append('\0');
    putLE(out, versionValue(recipe.version), 4);
    putLE(out, recipe.hwMin, 4);
    putLE(out, recipe.hwMax, 4);
    putLE(out, recipe.bootMin, 4);
    putLE(out, recipe.bootMax, 4);
    putLE(out, quint32(recipe.totalBytes >= 0 ? recipe.totalBytes : image.size()), 4);
    const int step = std::max(1, recipe.recordLength);
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
    UpdateFileRecipe recipe;
    recipe.region = region;
    recipe.version = version;
    recipe.size = size;
    return makeUpdateFile(recipe);
}

} // namespace talixsim
