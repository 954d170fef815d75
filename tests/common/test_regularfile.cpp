// Reading and replacing files: what is refused without waiting, where a save through links lands,
// and that no failure or interrupt leaves a temporary file or changes the old file.
#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brevion;
using Problem = RegularFileRead::Problem;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class Files : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray native(const QString& name) const { return QFile::encodeName(path(name)); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    unsigned mode(const QString& name) const
    {
        struct stat st {};
        return ::stat(native(name).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
    }
    QStringList entries(const QString& folder = QStringLiteral(".")) const
    {
        return QDir(path(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST_F(Files, ReadsOnlyWholeRegularFilesUpToTheLimit)
{
    constexpr qint64 kMax = 1024;
    write("exact", QByteArray(kMax, 'x'));
    write("over", QByteArray(kMax + 1, 'x'));
    ASSERT_EQ(::mkfifo(native("fifo").constData(), 0600), 0); // no writer will ever come
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_EQ(::symlink("exact", native("link").constData()), 0);
    const struct {
        QString path;
        Problem problem;
        QString reason;
    } cases[] = {
        {path("exact"), Problem::None, ""},
        {path("link"), Problem::None, ""},
        {path("over"), Problem::TooLarge, "it is larger than 1 KiB"},
        {"/dev/zero", Problem::NotRegular, "it is not a regular file"},
        {path("fifo"), Problem::NotRegular, "it is not a regular file"},
        {path("folder"), Problem::NotRegular, "it is a folder"},
        {path("absent"), Problem::CannotOpen, "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ::alarm(10); // a read that waits ends the run instead of hanging it
        const RegularFileRead r = ReadRegularFile(c.path, kMax);
        ::alarm(0);
        EXPECT_EQ(r.problem, c.problem);
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_EQ(r.bytes, c.problem == Problem::None ? std::optional(QByteArray(kMax, 'x')) : std::nullopt);
    }
}

TEST_F(Files, ReplacesTheFileALinkLeadsTo)
{
    // link -> real/chain -> target, relative links across folders.
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    write("real/target", "old");
    ASSERT_EQ(::chmod(native("real/target").constData(), 0640), 0);
    ASSERT_EQ(::symlink("target", native("real/chain").constData()), 0);
    ASSERT_EQ(::symlink("real/chain", native("link").constData()), 0);
    ASSERT_FALSE(ReplaceRegularFile(path("link"), "new"));
    EXPECT_EQ(read("real/target"), "new");
    EXPECT_EQ(mode("real/target"), 0640u);
    EXPECT_TRUE(QFileInfo(path("link")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("real/chain")).isSymLink());
    EXPECT_EQ(entries("real"), (QStringList{"chain", "target"}));

    // A link to a file not there yet makes that file, readable by its owner only.
    ASSERT_EQ(::symlink("real/fresh", native("dangling").constData()), 0);
    ASSERT_FALSE(ReplaceRegularFile(path("dangling"), "made"));
    EXPECT_EQ(read("real/fresh"), "made");
    EXPECT_EQ(mode("real/fresh"), 0600u);

    // A name as long as the system allows.
    const QString longName(NAME_MAX, QLatin1Char('n'));
    ASSERT_FALSE(ReplaceRegularFile(path(longName), "long"));
    EXPECT_EQ(read(longName), "long");
    EXPECT_EQ(entries(), (QStringList{"dangling", "link", longName, "real"}));
}

TEST_F(Files, FailedReplaceKeepsTheOldFileAndLeavesNothingBehind)
{
    write("old", "previous");
    ASSERT_EQ(::mkfifo(native("fifo").constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_EQ(::symlink("fifo", native("to-fifo").constData()), 0);
    ASSERT_EQ(::symlink("loop", native("loop").constData()), 0);
    const QStringList before = entries();
    const struct {
        QString path;
        QString reason;
        bool diskFull = false; // the file size limit stands in for a full disk
    } cases[] = {
        {path("no/such/folder/x"), "No such file or directory"},
        {path("folder"), "it is a folder"},
        {path("fifo"), "it is not a regular file"},
        {path("to-fifo"), "it is not a regular file"},
        {path("loop"), std::strerror(ELOOP)},
        {"", "no file name was given"},
        {path("old"), std::strerror(EFBIG), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (c.diskFull) {
            rlimit small = saved;
            small.rlim_cur = 4;
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        const std::optional<QString> failure = ReplaceRegularFile(c.path, QByteArray(64, 'n'));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        EXPECT_EQ(failure, c.reason);
        EXPECT_EQ(read("old"), "previous");
        EXPECT_EQ(entries(), before);
    }
}

// Killed by SIGINT or SIGTERM in the middle of saving over and over, a process leaves the file
// whole and no temporary file.
TEST_F(Files, InterruptedReplaceLeavesNoTemporaryFile)
{
    const QByteArray bytes(256 * 1024, 's');
    sigset_t childExit;
    sigemptyset(&childExit);
    sigaddset(&childExit, SIGCHLD);
    ASSERT_EQ(::sigprocmask(SIG_BLOCK, &childExit, nullptr), 0);
    for (int round = 0; round < 10; ++round) {
        const int signal = round % 2 ? SIGTERM : SIGINT;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (bool told = false;; told = true) {
                if (ReplaceRegularFile(path("busy"), bytes) || (!told && ::write(ready[1], "r", 1) != 1))
                    ::_exit(2);
            }
        }
        ::close(ready[1]);
        pollfd started{ready[0], POLLIN, 0};
        EXPECT_EQ(::poll(&started, 1, 10000), 1);
        ::close(ready[0]);
        ::kill(child, signal);
        const timespec bound{10, 0};
        if (::sigtimedwait(&childExit, nullptr, &bound) != SIGCHLD)
            ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const timespec none{0, 0};
        ::sigtimedwait(&childExit, nullptr, &none); // the SIGCHLD of a child that had to be killed
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "round " << round;
        EXPECT_EQ(entries(), QStringList{"busy"}) << "round " << round;
        EXPECT_EQ(read("busy"), bytes) << "round " << round;
    }
    ::sigprocmask(SIG_UNBLOCK, &childExit, nullptr);
}
