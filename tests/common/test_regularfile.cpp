// Reading and replacing files: what is refused without waiting, where a save through links lands,
// and that no failure or interrupt leaves a temporary file or changes the old file.
#include "common/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <tuple>

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
    void link(const char* target, const QString& name) const { ASSERT_EQ(::symlink(target, native(name).constData()), 0); }
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

// What is refused, without waiting, for its kind and its size.
TEST_F(Files, ReadsOnlyWholeRegularFilesUpToTheLimit)
{
    write("exact", QByteArray(1024, 'x'));
    write("over", QByteArray(1025, 'x'));
    ASSERT_EQ(::mkfifo(native("fifo").constData(), 0600), 0); // no writer will ever come
    ::alarm(10); // a read that waits ends the run instead of hanging it
    EXPECT_EQ(ReadRegularFile(path("exact"), 1024).bytes, QByteArray(1024, 'x'));
    const std::pair<QString, Problem> refused[] = {{path("over"), Problem::TooLarge}, {"/dev/zero", Problem::NotRegular},
        {path("fifo"), Problem::NotRegular}, {dir.path(), Problem::NotRegular}, {path("absent"), Problem::CannotOpen}};
    QStringList reasons;
    for (const auto& [file, problem] : refused) {
        const RegularFileRead r = ReadRegularFile(file, 1024);
        EXPECT_TRUE(r.problem == problem && !r.bytes) << file.toStdString();
        reasons << r.reason;
    }
    ::alarm(0);
    EXPECT_EQ(reasons, (QStringList{"it is larger than 1 KiB", "it is not a regular file", "it is not a regular file",
                                    "it is a folder", "No such file or directory"}));
}

// Through relative links across folders (link -> real/chain -> target) the file they lead to is
// replaced and keeps its permissions; a dangling link makes its file, for its owner only; a name
// as long as the system allows leaves room for the temporary file.
TEST_F(Files, ReplacesTheFileALinkLeadsTo)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    write("real/target", "old");
    ASSERT_EQ(::chmod(native("real/target").constData(), 0640), 0);
    link("target", "real/chain");
    link("real/chain", "link");
    link("real/fresh", "dangling");
    const QString longName(NAME_MAX, QLatin1Char('n'));
    for (const QString& name : {QStringLiteral("link"), QStringLiteral("dangling"), longName})
        write(name, name.toLatin1());
    EXPECT_EQ(read("real/target") + read("real/fresh"), "linkdangling");
    EXPECT_EQ(std::pair(mode("real/target"), mode("real/fresh")), std::pair(0640u, 0600u));
    EXPECT_TRUE(QFileInfo(path("link")).isSymLink() && QFileInfo(path("real/chain")).isSymLink());
    EXPECT_EQ(entries("real"), (QStringList{"chain", "fresh", "target"}));
    EXPECT_EQ(entries(), (QStringList{"dangling", "link", longName, "real"}));
}

TEST_F(Files, FailedReplaceKeepsTheOldFileAndLeavesNothingBehind)
{
    write("old", "previous");
    ASSERT_EQ(::mkfifo(native("fifo").constData(), 0600), 0);
    link("fifo", "to-fifo");
    link("loop", "loop");
    const QStringList before = entries();
    const std::pair<QString, QString> cases[] = {
        {path("no/such/folder/x"), "No such file or directory"}, {dir.path(), "it is a folder"},
        {path("to-fifo"), "it is not a regular file"}, {path("loop"), std::strerror(ELOOP)},
        {"", "no file name was given"}, {path("old"), std::strerror(EFBIG)}, // the size limit stands in for a full disk
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [file, reason] : cases) {
        const rlimit limit{file == path("old") ? 4 : saved.rlim_cur, saved.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(ReplaceRegularFile(file, QByteArray(64, 'n')), reason) << file.toStdString();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(std::pair(read("old"), entries()), std::pair(QByteArray("previous"), before));
    }
    std::signal(SIGXFSZ, previousHandler);
}

// Killed by SIGINT or SIGTERM in the middle of saving over and over, a process leaves the file
// whole and no temporary file.
TEST_F(Files, InterruptedReplaceLeavesNoTemporaryFile)
{
    const QByteArray bytes(256 * 1024, 's');
    for (int round = 0; round < 6; ++round) {
        const int signal = round % 2 ? SIGTERM : SIGINT;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20); // a child the signal does not end ends by the alarm, and the round fails
            for (bool told = false;; told = true)
                if (ReplaceRegularFile(path("busy"), bytes) || (!told && ::write(ready[1], "r", 1) != 1))
                    ::_exit(2);
        }
        pollfd started{ready[0], POLLIN, 0};
        EXPECT_EQ(::poll(&started, 1, 10000), 1);
        ::close(ready[0]), ::close(ready[1]);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "round " << round;
        EXPECT_EQ(std::pair(entries(), read("busy")), std::pair(QStringList{"busy"}, bytes)) << "round " << round;
    }
}
