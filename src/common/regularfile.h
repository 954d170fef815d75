#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace brevion {

// Settings files and JSON settings hold 74 short values; anything bigger is not one of them.
constexpr qint64 kMaxSettingsFileBytes = qint64(1) << 20;

struct RegularFileRead {
    enum class Problem { None, CannotOpen, NotRegular, TooLarge, ReadFailed };
    std::optional<QByteArray> bytes; // the whole file, when it could be read
    Problem problem = Problem::None;
    int errorNumber = 0; // errno of CannotOpen and ReadFailed
    QString reason;      // what is wrong, to follow "cannot be read: " ("it is not a regular file")
};

// Reads a whole regular file of at most maxBytes. Anything else is refused without waiting or
// reading it: a FIFO (opened without blocking), a device such as /dev/zero, a folder, a file
// larger than maxBytes (only maxBytes + 1 bytes are ever read). Symbolic links are followed.
RegularFileRead ReadRegularFile(const QString& path, qint64 maxBytes);

// What ReplaceRegularFile does with a symbolic link at the path, and with permissions.
enum class ReplaceMode {
    // The user's own file: a link stays a link and the file it leads to (through any chain of
    // links) is the one replaced. A new file is readable by its owner only; a replaced one keeps
    // its permissions.
    FollowLinks,
    // A file the program names itself in a folder (a backup): the name is replaced, never written
    // through, so a link there gives way to a new file; the file is readable by its owner only,
    // whatever the old one was.
    OwnerOnlyHere,
};

// Replaces the file at path with bytes so that it is never left half written: the bytes go to a
// new temporary file in the same folder (created exclusively, owner-only), which is then renamed
// over it. SIGINT, SIGTERM and SIGHUP that arrive meanwhile take effect once the save has
// finished or been undone, so no temporary file is left behind. Returns the reason on failure;
// the old file is then unchanged.
std::optional<QString> ReplaceRegularFile(const QString& path, const QByteArray& bytes,
                                          ReplaceMode mode = ReplaceMode::FollowLinks);

} // namespace brevion
