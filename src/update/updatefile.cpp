#include "update/updatefile.h"

#include "common/regularfile.h"

#include "wire/wireformat.h"

namespace brevion {
namespace {

qint32 le32(const QByteArray& b, qsizetype at) { return static_cast<qint32>(wire::GetLe32(wire::U(b.constData() + at))); }
qint16 le16(const QByteArray& b, qsizetype at) { return static_cast<qint16>(wire::GetLe16(wire::U(b.constData() + at))); }

UpdateFileResult damaged(const QString& problem)
{
    return {std::nullopt, {kDamagedUpdateFile, QStringLiteral("The update file is damaged: %1.").arg(problem)}};
}

} // namespace

std::optional<UpdateHeader> ReadListingHeader(const QByteArray& firstBytes)
{
    if (firstBytes.isEmpty() || static_cast<quint8>(firstBytes[0]) != kUpdateMarker || firstBytes.size() < wire::kListingHeaderBytes)
        return std::nullopt;
    UpdateHeader h;
    h.Version = le32(firstBytes, wire::kFileVersion);
    h.HwMin = le32(firstBytes, wire::kFileHwMin);
    h.HwMax = le32(firstBytes, wire::kFileHwMax);
    h.BootMin = le32(firstBytes, wire::kFileBootMin);
    h.BootMax = le32(firstBytes, wire::kFileBootMax);
    if (firstBytes.size() >= kUpdateHeaderBytes)
        h.TotalBytes = le32(firstBytes, wire::kFileTotalBytes);
    return h;
}

UpdateFileResult ParseUpdateFile(const QByteArray& bytes)
{
    if (bytes.isEmpty() || static_cast<quint8>(bytes[0]) != kUpdateMarker)
        return {std::nullopt, {kNotAnUpdateFile, QStringLiteral("This is not an update file (its first byte is not 100).")}};
    if (bytes.size() < kUpdateHeaderBytes)
        return damaged(QStringLiteral("its header is incomplete (%1 of %2 bytes)").arg(bytes.size()).arg(kUpdateHeaderBytes));

    UpdateFile file;
    file.header = *ReadListingHeader(bytes);
    if (file.header.TotalBytes <= 0)
        return damaged(QStringLiteral("it carries no data to program (TotalBytes is %1)").arg(file.header.TotalBytes));

    qint64 total = 0;
    qsizetype at = kUpdateHeaderBytes;
    while (at < bytes.size()) {
        if (bytes.size() - at < kRecordHeaderBytes)
            return damaged(QStringLiteral("the record at offset %1 is cut off in its address or length").arg(at));
        const qint32 address = le32(bytes, at + wire::kRecordAddress);
        const qint16 length = le16(bytes, at + wire::kRecordLength);
        if (length < 0 || length > kMaxRecordBytes)
            return damaged(QStringLiteral("the record at offset %1 has the length %2 (0 to %3 allowed)")
                               .arg(at).arg(length).arg(kMaxRecordBytes));
        if (bytes.size() - at - kRecordHeaderBytes < length)
            return damaged(QStringLiteral("the record at offset %1 runs past the end of the file").arg(at));
        // The device would refuse every block of it, after the erase.
        if (address < 0 || qint64(address) + length > kDeviceFlashBytes)
            return damaged(QStringLiteral("the record at offset %1 is for address 0x%2, outside the device's memory "
                                          "(0x0 to 0x%3)")
                               .arg(at)
                               .arg(quint32(address), 0, 16)
                               .arg(kDeviceFlashBytes - 1, 0, 16));
        file.records.push_back({address, bytes.mid(at + kRecordHeaderBytes, length)});
        total += length;
        at += kRecordHeaderBytes + length;
    }
    if (total != file.header.TotalBytes)
        return damaged(QStringLiteral("its records carry %1 data bytes, its header says %2")
                           .arg(total).arg(file.header.TotalBytes));
    return {std::move(file), {}};
}

UpdateFileResult LoadUpdateFile(const QString& path)
{
    const RegularFileRead read = ReadRegularFile(path, kMaxUpdateFileBytes);
    if (read.bytes)
        return ParseUpdateFile(*read.bytes);
    using P = RegularFileRead::Problem;
    const int number = read.problem == P::NotRegular ? int(kNotARegularFile)
                       : read.problem == P::TooLarge ? int(kUpdateFileTooLarge)
                                                     : read.errorNumber;
    return {std::nullopt, {number, QStringLiteral("The update file cannot be read: %1.").arg(read.reason)}};
}

qint32 VersionNumber(qint32 field)
{
    return field & 0xFFFFFF;
}

QString VersionText(qint32 version)
{
    const quint32 v = static_cast<quint32>(VersionNumber(version));
    return QStringLiteral("%1.%2.%3").arg((v >> 16) & 255).arg((v >> 8) & 255).arg(v & 255);
}

} // namespace brevion
