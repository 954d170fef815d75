#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "wire/wireformat.h"

namespace brevion {

// Update file (*.bin): a 26-byte little-endian header (marker 100, Version, HwMin, HwMax,
// BootMin, BootMax, TotalBytes), then data records of an address, a length 0..64 and the data.
// The byte table is in wireformat.h.

constexpr int kUpdateMarker = wire::kUpdateMarker;
constexpr int kUpdateHeaderBytes = wire::kUpdateHeaderBytes;
constexpr int kRecordHeaderBytes = wire::kRecordHeaderBytes;
constexpr int kMaxRecordBytes = wire::kMaxRecordBytes;
// The device's flash: every record lies within 0x00000 to 0xFFFFF.
constexpr qint64 kDeviceFlashBytes = 0x100000;
// No update file is larger than this (the flash, with its record headers, fits many times).
constexpr qint64 kMaxUpdateFileBytes = 16 * 1024 * 1024;

struct UpdateHeader {
    qint32 Version = 0;
    qint32 HwMin = 0;
    qint32 HwMax = 0;
    qint32 BootMin = 0;
    qint32 BootMax = 0;
    qint32 TotalBytes = 0;
    bool operator==(const UpdateHeader&) const = default;
};

struct DataRecord {
    qint32 Address = 0;
    QByteArray data;
    bool operator==(const DataRecord&) const = default;
};

struct UpdateFile {
    UpdateHeader header;
    std::vector<DataRecord> records;
};

// A failure as the update window reports it: a number and a description.
struct UpdateFileError {
    int number = 0;
    QString description;
    bool operator==(const UpdateFileError&) const = default;
};

// Numbers of the failures found in a file's contents (file-layer failures carry the number of
// QFileDevice::FileError).
enum UpdateFileErrorNumber {
    kNotAnUpdateFile = 1001,
    kDamagedUpdateFile = 1002,
    kNotARegularFile = 1003,
    kUpdateFileTooLarge = 1004,
    kBadVersionText = 1005,
};

struct UpdateFileResult {
    std::optional<UpdateFile> file;
    UpdateFileError error; // meaningful when file is empty
};

// The header fields the listing needs (offsets 0 to 21), or nothing when the file does not begin
// with the marker or is too short to hold them.
std::optional<UpdateHeader> ReadListingHeader(const QByteArray& firstBytes);

// Checks the whole file: marker, complete header, records that end exactly at the end of the
// file, every Length 0..64, every record inside the device's flash, the lengths adding up to
// TotalBytes, and some data to program.
// Nothing is sent from a file that fails here.
UpdateFileResult ParseUpdateFile(const QByteArray& bytes);

// Reads and checks the file at path: a regular file of at most kMaxUpdateFileBytes.
UpdateFileResult LoadUpdateFile(const QString& path);

// The version a Version field holds: major (bits 16-23), minor (8-15), build (0-7). The bits
// above are not part of it: every version shown, compared, sorted or checked goes through here,
// so a file whose upper byte is set neither outranks newer files nor fails the check after it
// has been programmed.
qint32 VersionNumber(qint32 field);

// "1.0.17": the three parts of VersionNumber.
QString VersionText(qint32 version);

} // namespace brevion
