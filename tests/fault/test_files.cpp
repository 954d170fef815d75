// Files under stress: saving into a full or read-only place, a settings file that vanishes
// before it is read, and files cut short at every byte. Each fails with a reason that can be
// shown, and every file that was there before keeps its bytes.

#include "settingsfile.h"
#include "updatefile.h"
#include "../../sim/updatefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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

SettingsFileValues sample(int variant)
{
    SettingsFileValues v;
    v.DHCP = false;
    v.IPAddr = QStringLiteral("192.168.1.%1").arg(variant);
    v.SubnetMask = QStringLiteral("255.255.255.0");
    v.Gateway = QStringLiteral("192.168.1.1");
    v.NetName = QStringLiteral("Bridge %1").arg(variant);
    v.IPPort = QStringLiteral("10001");
    v.BaudRate = 4;
    v.Handshaking = 0;
    v.UDPPort = QStringLiteral("40000");
    v.Rules.OutRules[1] = {QStringLiteral("10.0.0.1"), 23, 7, 30};
    v.Rules.OutCount = 1;
    v.Password = QStringLiteral("pa\"ss");
    return v;
}

// The folder's entries other than the ones named: a failed save leaves no temporary file behind.
QStringList strays(const QString& folder, const QStringList& expected)
{
    QStringList out;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!expected.contains(name))
            out << name;
    return out;
}

// A small file system of our own, in a mount namespace of this process only: root can then make
// it full or read-only. Empty when that is not possible here.
class PrivateTmpfs {
public:
    explicit PrivateTmpfs(const QString& at, const char* options)
    {
        static const bool privateNamespace =
            ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (privateNamespace && ::mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, options) == 0)
            m_at = at;
    }
    ~PrivateTmpfs()
    {
        if (!m_at.isEmpty())
            ::umount2(QFile::encodeName(m_at).constData(), MNT_DETACH);
    }
    bool mounted() const { return !m_at.isEmpty(); }
    bool makeReadOnly() const
    {
        return ::mount(nullptr, QFile::encodeName(m_at).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QString m_at;
};

} // namespace

TEST(SettingsFileStress, SaveIntoFullLocationKeepsTheExistingFile)
{
    QTemporaryDir dir;
    PrivateTmpfs fs(dir.path(), "size=16k");
    if (!fs.mounted())
        GTEST_SKIP() << "needs root and a private mount namespace for a small file system";
    const QString path = dir.filePath(QStringLiteral("bridge.TALIX"));
    ASSERT_FALSE(SaveSettingsFile(path, sample(1)).has_value());
    const QByteArray before = readAll(path);

    // Fill what is left.
    QFile filler(dir.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(1024, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    const std::optional<QString> failure = SaveSettingsFile(path, sample(2));
    ASSERT_TRUE(failure.has_value());
    EXPECT_FALSE(failure->isEmpty());
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(strays(dir.path(), {QStringLiteral("bridge.TALIX"), QStringLiteral("filler")}), QStringList());
}

TEST(SettingsFileStress, SaveIntoReadOnlyFolderKeepsTheExistingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.TALIX"));
    PrivateTmpfs fs(dir.path(), "size=64k");
    if (::geteuid() == 0 && !fs.mounted())
        GTEST_SKIP() << "root writes into any folder; needs a private mount namespace for a read-only one";
    ASSERT_FALSE(SaveSettingsFile(path, sample(1)).has_value());
    const QByteArray before = readAll(path);
    if (fs.mounted())
        ASSERT_TRUE(fs.makeReadOnly());
    else
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);

    for (const QString& target : {path, dir.filePath(QStringLiteral("new.TALIX"))}) {
        const std::optional<QString> failure = SaveSettingsFile(target, sample(2));
        ASSERT_TRUE(failure.has_value()) << qPrintable(target);
        EXPECT_FALSE(failure->isEmpty());
    }
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(strays(dir.path(), {QStringLiteral("bridge.TALIX")}), QStringList());
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

TEST(SettingsFileStress, FileThatVanishedBeforeReadingChangesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone.TALIX"));
    ASSERT_FALSE(SaveSettingsFile(path, sample(1)).has_value());
    ASSERT_TRUE(QFile::remove(path)); // chosen in the dialog, then removed by someone else
    const SettingsFileDecode loaded = LoadSettingsFile(path, sample(7));
    EXPECT_FALSE(loaded.values.has_value());
    EXPECT_FALSE(loaded.reason.isEmpty());
}

TEST(SettingsFileStress, FileCutShortBeforeItsLastLineIsRefused)
{
    // A cut inside the last line can leave a value that still reads (a hand-written file may
    // lack its final line break), so only the cuts before it are judged here.
    const QByteArray whole = EncodeSettingsFile(sample(3));
    const qsizetype lastLine = whole.lastIndexOf("\r\n", whole.size() - 3) + 2;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.TALIX"));
    for (qsizetype n = 0; n < lastLine; ++n) {
        writeAll(path, whole.left(n));
        const SettingsFileDecode loaded = LoadSettingsFile(path, {});
        EXPECT_FALSE(loaded.values.has_value()) << "cut at " << n;
        EXPECT_FALSE(loaded.reason.isEmpty()) << "cut at " << n;
        EXPECT_EQ(readAll(path), whole.left(n));
    }
    writeAll(path, whole);
    EXPECT_EQ(LoadSettingsFile(path, {}).values, sample(3));
}

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
    EXPECT_FALSE(LoadUpdateFile(path).file.has_value());
    EXPECT_FALSE(LoadUpdateFile(path).error.description.isEmpty());
}
