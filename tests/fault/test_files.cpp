// Update files that cannot be used: cut short at every byte, too large, not a regular file.
// Each fails with a reason that can be shown, and the file keeps its bytes.
#include "updatefile.h"
#include "updateimage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brevion;

TEST(UpdateFileStress, RefusedWithItsReasonAndLeftAsItWas)
{
    const QByteArray whole = talixsim::makeUpdateFile({.version = {1, 0, 18}, .size = 150, .recordLength = 40});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FIRM.bin"));
    QFile file(path);
    for (qsizetype n = whole.size(); n >= 0; --n) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(n));
        file.close();
        const UpdateFileResult result = LoadUpdateFile(path);
        EXPECT_EQ(result.file.has_value(), n == whole.size()) << "cut at " << n;
        if (n < whole.size())
            EXPECT_EQ(result.error.number, n == 0 ? int(kNotAnUpdateFile) : int(kDamagedUpdateFile)) << "cut at " << n;
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), whole.left(n));
        file.close();
    }
    // Only regular files of at most 16 MiB are read: a FIFO would wait for a writer.
    ASSERT_TRUE(QFile::resize(path, kMaxUpdateFileBytes + 1));
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kUpdateFileTooLarge));
    ASSERT_TRUE(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    EXPECT_EQ(LoadUpdateFile(path).error.number, int(kNotARegularFile));
    QFile::remove(path);
    EXPECT_FALSE(LoadUpdateFile(path).error.description.isEmpty());
}
