#include "update/updatelist.h"

#include "common/nxfns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cmath>
#include <utility>

namespace brevion {

double LeadingValue(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    double sign = 1;
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        sign = t[i++] == QLatin1Char('-') ? -1 : 1;
    double value = 0;
    while (i < n && t[i].isDigit() && t[i].unicode() < 128)
        value = value * 10 + (t[i++].unicode() - '0');
    if (i < n && t[i] == QLatin1Char('.')) {
        double scale = 0.1;
        for (++i; i < n && t[i].isDigit() && t[i].unicode() < 128; ++i, scale /= 10)
            value += (t[i].unicode() - '0') * scale;
    }
    return sign * value;
}

namespace {

std::optional<qint32> rounded(double value)
{
    const double r = RoundHalfEven(value);
    if (!std::isfinite(r) || r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<qint32>(r);
}

} // namespace

std::optional<qint32> HardwareVersionNumber(const QString& text)
{
    const qsizetype p = text.indexOf(QLatin1Char('.'));
    if (p < 0)
        return std::nullopt;
    return rounded(LeadingValue(text.left(p)) * 256 + LeadingValue(text.mid(p + 1)));
}

std::optional<qint32> BootloaderVersionNumber(const QString& text)
{
    const qsizetype p1 = text.indexOf(QLatin1Char('.'));
    const qsizetype p2 = p1 < 0 ? -1 : text.indexOf(QLatin1Char('.'), p1 + 1);
    if (p2 < 0)
        return std::nullopt;
    return rounded(LeadingValue(text.left(p1)) * 65536 + LeadingValue(text.mid(p1 + 1, p2 - p1 - 1)) * 256 +
                   LeadingValue(text.mid(p2 + 1)));
}

bool IsBootFile(const QString& fileName) { return fileName.toUpper().contains(QLatin1String("BOOT")); }

bool FitsDevice(const UpdateHeader& header, const QString& fileName, qint32 hardware, qint32 bootloader)
{
    if (hardware < header.HwMin || hardware > header.HwMax)
        return false;
    return IsBootFile(fileName) || (bootloader >= header.BootMin && bootloader <= header.BootMax);
}

ExaminedFile ExamineUpdateFile(const QString& path, const QString& fileName, const QString& hdweVer,
                               const QString& bootVer)
{
    ExaminedFile out;
    if (!QFileInfo(path).isFile() && QFileInfo::exists(path))
        return out;
    QFile f(path);
    auto failed = [&] {
        out.kind = ExaminedFile::Kind::Failed;
        out.error = {static_cast<int>(f.error()), QStringLiteral("%1: %2").arg(fileName, f.errorString())};
        return out;
    };
    if (!f.open(QIODevice::ReadOnly))
        return failed();
    const QByteArray first = f.read(kUpdateHeaderBytes);
    if (f.error() != QFileDevice::NoError)
        return failed();
    // A file too short for its header is no update file; the whole file is checked before use.
    const std::optional<UpdateHeader> header = ReadListingHeader(first);
    if (!header)
        return out;

    const std::optional<qint32> hardware = HardwareVersionNumber(hdweVer);
    if (!hardware) {
        out.kind = ExaminedFile::Kind::Failed;
        out.error = {kBadVersionText, QStringLiteral("The hardware version \"%1\" cannot be read.").arg(hdweVer)};
        return out;
    }
    if (*hardware < header->HwMin || *hardware > header->HwMax)
        return out;
    qint32 bootloader = 0;
    if (!IsBootFile(fileName)) {
        const std::optional<qint32> boot = BootloaderVersionNumber(bootVer);
        if (!boot) {
            out.kind = ExaminedFile::Kind::Failed;
            out.error = {kBadVersionText, QStringLiteral("The bootloader version \"%1\" cannot be read.").arg(bootVer)};
            return out;
        }
        bootloader = *boot;
    }
    if (!FitsDevice(*header, fileName, *hardware, bootloader))
        return out;
    out.kind = ExaminedFile::Kind::Accepted;
    out.info = {fileName, header->Version, header->HwMin, header->HwMax, header->BootMin, header->BootMax};
    return out;
}

namespace {

// Swapping adjacent entries only when the first has the lower version keeps equal versions in
// their order: a stable sort, highest first.
void newestFirst(std::vector<UpdateFileInfo>::iterator first, std::vector<UpdateFileInfo>::iterator last)
{
    std::stable_sort(first, last, [](const UpdateFileInfo& a, const UpdateFileInfo& b) {
        return VersionNumber(a.Version) > VersionNumber(b.Version);
    });
}

} // namespace

void SortUpdateFiles(std::vector<UpdateFileInfo>& files, int bootCount)
{
    const size_t n = files.size();
    if (n == 0)
        return;
    if (bootCount <= 0) {
        newestFirst(files.begin(), files.end());
        return;
    }
    // The n - 1 passes that move the bootloader files back each carry the first one they meet to
    // the end: the firmware files keep their order, and the bootloader files end up turned by
    // n - 1 places.
    const auto boot = std::stable_partition(files.begin(), files.end(),
                                            [](const UpdateFileInfo& f) { return !IsBootFile(f.FileName); });
    if (const auto found = files.end() - boot; found > 0)
        std::rotate(boot, boot + static_cast<std::ptrdiff_t>((n - 1) % static_cast<size_t>(found)), files.end());
    const auto firmwareEnd = files.begin() + static_cast<std::ptrdiff_t>(n - std::min<size_t>(size_t(bootCount), n));
    newestFirst(files.begin(), firmwareEnd);
    newestFirst(firmwareEnd, files.end());
}

QString UpdateListLine(const UpdateFileInfo& info)
{
    return QStringLiteral("Ver %1 (%2)").arg(VersionText(info.Version), info.FileName.trimmed());
}

std::optional<ListLineParts> ParseUpdateListLine(const QString& line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const qsizetype paren = line.indexOf(QLatin1Char('('));
    if (blank < 0 || paren < 0 || line.size() - paren - 2 <= 0)
        return std::nullopt;
    QString version = line.mid(blank + 1);
    const qsizetype next = version.indexOf(QLatin1Char(' '));
    if (next >= 0)
        version.truncate(next);
    return ListLineParts{version, line.mid(paren + 1, line.size() - paren - 2)};
}

QString JoinFolder(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

UpdateListing ListUpdateFiles(const QString& folder, const QString& hdweVer, const QString& bootVer,
                              const std::function<bool(const UpdateFileError&)>& retry)
{
    UpdateListing listing;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        if (!name.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive))
            continue;
        ExaminedFile examined;
        for (;;) {
            examined = ExamineUpdateFile(JoinFolder(folder, name), name, hdweVer, bootVer);
            if (examined.kind != ExaminedFile::Kind::Failed)
                break;
            if (!retry || !retry(examined.error)) {
                listing.abandoned = true;
                return listing;
            }
        }
        if (examined.kind == ExaminedFile::Kind::Accepted) {
            listing.files.push_back(examined.info);
            listing.bootCount += IsBootFile(name) ? 1 : 0;
        }
    }
    SortUpdateFiles(listing.files, listing.bootCount);
    return listing;
}

} // namespace brevion
