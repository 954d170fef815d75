#pragma once

#include "update/updatefile.h"

#include <QString>

#include <optional>
#include <functional>
#include <vector>

namespace brevion {

// One update file that fits the device.
struct UpdateFileInfo {
    QString FileName;
    qint32 Version = 0;
    qint32 HwMin = 0;
    qint32 HwMax = 0;
    qint32 BootMin = 0;
    qint32 BootMax = 0;
    bool operator==(const UpdateFileInfo&) const = default;
};

// The value of a text: its longest leading decimal number, or 0.
double LeadingValue(const QString& text);

// "major.minor" -> major * 256 + minor; nothing when the text has no ".".
std::optional<qint32> HardwareVersionNumber(const QString& text);
// "major.minor.build" -> major * 65536 + minor * 256 + build; nothing without two ".".
std::optional<qint32> BootloaderVersionNumber(const QString& text);

// A bootloader update file is one whose upper-cased name contains "BOOT".
bool IsBootFile(const QString& fileName);

// Whether a file with this header fits the device: the hardware range for every file, and for
// firmware files also the bootloader range (both ends included).
bool FitsDevice(const UpdateHeader& header, const QString& fileName, qint32 hardware, qint32 bootloader);

// The outcome of looking at one listed file.
struct ExaminedFile {
    enum class Kind { Skipped, Accepted, Failed } kind = Kind::Skipped;
    UpdateFileInfo info;   // Accepted
    UpdateFileError error; // Failed: the file cannot be read, or a version text cannot be taken apart
};

// Reads the header of the file at path and checks it against the device's version texts. Only
// regular files are read (a FIFO or device would block or never end): anything else is skipped.
// A failure's description names the file.
ExaminedFile ExamineUpdateFile(const QString& path, const QString& fileName, const QString& hdweVer,
                               const QString& bootVer);

// Firmware files first, then bootloader files; each group from the highest version down. The
// order is that of the update window's passes of adjacent swaps, got in n log n.
void SortUpdateFiles(std::vector<UpdateFileInfo>& files, int bootCount);

// The update files of a folder that fit the device, sorted as the lists show them.
struct UpdateListing {
    std::vector<UpdateFileInfo> files; // firmware first, then bootloader, each newest first
    int bootCount = 0;
    bool abandoned = false; // a file could not be examined and the caller gave up
};
// Examines the folder's "*.bin" files (any case), by name. When one cannot be examined,
// retry(error) decides: true examines it again, false abandons the listing.
UpdateListing ListUpdateFiles(const QString& folder, const QString& hdweVer, const QString& bootVer,
                              const std::function<bool(const UpdateFileError&)>& retry);

// "Ver 1.0.17 (FIRM.bin)".
QString UpdateListLine(const UpdateFileInfo& info);

// The version text and the file name taken back out of a list line.
struct ListLineParts {
    QString versionText;
    QString fileName;
    bool operator==(const ListLineParts&) const = default;
};
std::optional<ListLineParts> ParseUpdateListLine(const QString& line);

// folder + "/" + name; a folder that already ends in "/" gets no second one.
QString JoinFolder(const QString& folder, const QString& name);

} // namespace brevion
