// Update files the loader must refuse before it parses them: too large, or not a regular file
// (a FIFO would wait for a writer), or missing. Damaged contents: tests/update.
#include "update/updatefile.h"
#include "sim/updateimage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brevion;

TEST(UpdateFileLoad, OnlyRegularFilesOfAtMost16MiB)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FIRM.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(talixsim::makeUpdateFile({.version = {1, 0, 18}, .size = 150}));
    file.close();
    ASSERT_TRUE(LoadUpdateFile(path).file.has_value());
    ASSERT_TRUE(QFile::resize(path, kMaxUpdateFileBytes + 1));
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kUpdateFileTooLarge));
    ASSERT_TRUE(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kNotARegularFile));
    QFile::remove(path);
    EXPECT_FALSE(LoadUpdateFile(path).error.description.isEmpty());
}
