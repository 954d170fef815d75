// Reading and replacing files: what is refused without waiting, where a save through links lands,
// and that no failure or interrupt leaves a temporary file or changes the old file.
#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brevion;
using Problem = RegularFileRead::Problem;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class Files : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray native(const QString& name) const { return QFile::encodeName(path(name)); }
    void write(const QString& name, const QByteArray& bytes) const { ASSERT_FALSE(ReplaceRegularFile(path(name), bytes)); }
    QByteArray read(const QString& name) const { return ReadRegularFile(path(name), 1 << 20).bytes.value_or("?"); }
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
    const std::tuple<QString, Problem, QString> cases[] = {
        {path("exact"), Problem::None, ""}, {path("link"), Problem::None, ""},
        {path("over"), Problem::TooLarge, "it is larger than 1 KiB"},
        {"/dev/zero", Problem::NotRegular, "it is not a regular file"},
        {path("fifo"), Problem::NotRegular, "it is not a regular file"},
        {path("folder"), Problem::NotRegular, "it is a folder"},
        {path("absent"), Problem::CannotOpen, "No such file or directory"},
    };
    for (const auto& [file, problem, reason] : cases) {
        ::alarm(10); // a read that waits ends the run instead of hanging it
        const RegularFileRead r = ReadRegularFile(file, kMax);
        ::alarm(0);
        EXPECT_EQ(std::tuple(r.problem, r.reason), std::tuple(problem, reason)) << file.toStdString();
        EXPECT_EQ(r.bytes, problem == Problem::None ? std::optional(QByteArray(kMax, 'x')) : std::nullopt);
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
    write("link", "new");
    EXPECT_EQ(read("real/target"), "new");
    EXPECT_EQ(mode("real/target"), 0640u);
    EXPECT_TRUE(QFileInfo(path("link")).isSymLink() && QFileInfo(path("real/chain")).isSymLink());
    EXPECT_EQ(entries("real"), (QStringList{"chain", "target"}));

    // A link to a file not there yet makes that file, readable by its owner only.
    ASSERT_EQ(::symlink("real/fresh", native("dangling").constData()), 0);
    write("dangling", "made");
    EXPECT_EQ(read("real/fresh"), "made");
    EXPECT_EQ(mode("real/fresh"), 0600u);

    // A name as long as the system allows.
    const QString longName(NAME_MAX, QLatin1Char('n'));
    write(longName, "long");
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
    const std::tuple<QString, QString, bool> cases[] = { // the size limit stands in for a full disk
        {path("no/such/folder/x"), "No such file or directory", false}, {path("folder"), "it is a folder", false},
        {path("fifo"), "it is not a regular file", false}, {path("to-fifo"), "it is not a regular file", false},
        {path("loop"), std::strerror(ELOOP), false},      {"", "no file name was given", false},
        {path("old"), std::strerror(EFBIG), true},
    };
    for (const auto& [file, reason, diskFull] : cases) {
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{4, saved.rlim_max};
        if (diskFull) {
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        EXPECT_EQ(ReplaceRegularFile(file, QByteArray(64, 'n')), reason) << file.toStdString();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
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
    for (int round = 0; round < 6; ++round) {
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
        pollfd started{ready[0], POLLIN, 0};
        EXPECT_EQ(::poll(&started, 1, 10000), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        ::kill(child, signal);
        const timespec bound{10, 0};
        if (::sigtimedwait(&childExit, nullptr, &bound) != SIGCHLD)
            ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "round " << round;
        EXPECT_EQ(entries(), QStringList{"busy"}) << "round " << round;
        EXPECT_EQ(read("busy"), bytes) << "round " << round;
    }
    ::sigprocmask(SIG_UNBLOCK, &childExit, nullptr);
}
