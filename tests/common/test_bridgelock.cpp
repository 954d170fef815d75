// One bridge, one holder: a second taker is told which process holds it and holds nothing; the
// lock goes with its holder however that ends; a lock folder or file that someone else could have
// placed is never used.
#include "bridgelock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brevion;
using State = BridgeLock::State;

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

TEST(BridgeLock, OneHolderAtATimeAcrossProcesses)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("locks");
    {
        const BridgeLock first("127.0.0.2", 2362, folder);
        ASSERT_TRUE(first.held()) << first.problem().toStdString();
        const BridgeLock second("127.0.0.2", 2362, folder);
        EXPECT_EQ(std::pair(second.state(), second.holder()), std::pair(State::HeldElsewhere, qint64(::getpid())));
        EXPECT_TRUE(BridgeLock("127.0.0.2", 2363, folder).held()); // another device port: another bridge
        EXPECT_TRUE(BridgeLock("127.0.0.3", 2362, folder).held());
    }
    struct stat st {};
    ASSERT_EQ(::stat(native(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const BridgeLock held("127.0.0.2", 2362, folder);
        const char c = held.held() ? '1' : '0';
        static_cast<void>(::write(ready[1], &c, 1));
        ::pause();
        std::_Exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    const BridgeLock busy("127.0.0.2", 2362, folder);
    EXPECT_EQ(busy.holder(), child);
    EXPECT_TRUE(busy.refusal().startsWith(QString("The device at 127.0.0.2 is in use by another program (process %1)").arg(child)))
        << busy.refusal().toStdString();
    ::kill(child, SIGKILL); // no chance to tidy up: the kernel lets the lock go
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(BridgeLock("127.0.0.2", 2362, folder).held());
    ::close(ready[0]), ::close(ready[1]);
}

TEST(BridgeLock, RefusesFoldersAndFilesThatAreNotItsOwn)
{
    QTemporaryDir dir;
    auto path = [&](const char* name) { return native(dir.filePath(name)); };
    ASSERT_EQ(::mkdir(path("elsewhere"), 0700), 0);
    ASSERT_EQ(::symlink("elsewhere", path("link")), 0);
    ASSERT_EQ(::close(::open(path("file"), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_EQ(::mkdir(path("loose"), 0777), 0);
    ASSERT_EQ(::chmod(path("loose"), 0777), 0);
    ASSERT_EQ(::mkdir(path("planted"), 0700), 0); // its lock file leads somewhere else
    ASSERT_EQ(::symlink("../victim", path("planted/bridge-127.0.0.2-2362.lock")), 0);
    ASSERT_EQ(::mkdir(path("foreign"), 0700), 0);
    const bool root = ::geteuid() == 0 && ::chown(path("foreign"), 65534, 65534) == 0;
    const std::tuple<const char*, State, const char*> rows[] = {
        {"link", State::Unavailable, "is a symbolic link or not a folder"},
        {"file", State::Unavailable, "is a symbolic link or not a folder"},
        {"missing/deeper", State::Unavailable, "cannot be made"},
        {"planted", State::Unavailable, "bridge-127.0.0.2-2362.lock cannot be used"},
        {"foreign", root ? State::Unavailable : State::Held, root ? "belongs to another user" : ""},
        {"loose", State::Held, ""}, // ours: made owner-only
    };
    for (const auto& [name, state, problem] : rows) {
        const BridgeLock lock("127.0.0.2", 2362, dir.filePath(name));
        EXPECT_EQ(lock.state(), state) << name;
        EXPECT_TRUE(lock.problem().contains(problem)) << name << ": " << lock.problem().toStdString();
        EXPECT_EQ(lock.refusal().isEmpty(), state == State::Held) << name;
    }
    struct stat st {};
    EXPECT_TRUE(::stat(path("loose"), &st) == 0 && (st.st_mode & 077) == 0);
    EXPECT_EQ(::access(path("victim"), F_OK), -1);
    EXPECT_EQ(::access(path("elsewhere/bridge-127.0.0.2-2362.lock"), F_OK), -1);

    const std::pair<const char*, QString> folders[] = {
        {"/run/user/1000", "/run/user/1000/brevion"},
        {"", QString("/tmp/brevion-%1").arg(::geteuid())},
        {"relative", QString("/tmp/brevion-%1").arg(::geteuid())}};
    for (const auto& [runtime, folder] : folders) {
        ::setenv("XDG_RUNTIME_DIR", runtime, 1);
        EXPECT_EQ(BridgeLock::BridgeLockFolder(), folder) << runtime;
    }
}

} // namespace
