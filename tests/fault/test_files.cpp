// Update files cut short at every byte: each fails with a reason that can be shown, and the file
// keeps its bytes. (Settings files under stress: tests/common/test_regularfile.cpp.)

#include "updatefile.h"
#include "updateimage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brevion;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace

TEST(UpdateFileStress, FileCutShortAtEveryByteIsRefusedWithItsReason)
{
    talixsim::UpdateFileRecipe recipe;
    recipe.version = {1, 0, 18};
    recipe.size = 150;
    recipe.recordLength = 40;
    const QByteArray whole = talixsim::makeUpdateFile(recipe);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FIRM.bin"));
    writeAll(path, whole);
    ASSERT_TRUE(LoadUpdateFile(path).file.has_value());
    for (qsizetype n = 0; n < whole.size(); ++n) {
        writeAll(path, whole.left(n));
        const UpdateFileResult result = LoadUpdateFile(path);
        EXPECT_FALSE(result.file.has_value()) << "cut at " << n;
        EXPECT_EQ(result.error.number, n == 0 ? int(kNotAnUpdateFile) : int(kDamagedUpdateFile)) << "cut at " << n;
        EXPECT_FALSE(result.error.description.isEmpty());
        EXPECT_EQ(readAll(path), whole.left(n));
    }
    QFile::remove(path);
    EXPECT_FALSE(LoadUpdateFile(path).error.description.isEmpty());

    // Only regular files of at most 16 MiB are read: a FIFO would wait for a writer.
    writeAll(path, whole);
    ASSERT_TRUE(QFile::resize(path, kMaxUpdateFileBytes + 1));
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kUpdateFileTooLarge));
    ASSERT_TRUE(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kNotARegularFile));
}
