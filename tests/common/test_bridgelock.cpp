// A lock folder or file that someone else could have placed is never used: nothing is created or
// written through it. (Who holds a bridge, and what the second program is told: tests/tools.)
#include "common/bridgelock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brevion;
using State = BridgeLock::State;

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

TEST(BridgeLock, RefusesFoldersAndFilesThatAreNotItsOwn)
{
    QTemporaryDir dir;
    auto path = [&](const char* name) { return native(dir.filePath(name)); };
    ASSERT_EQ(::mkdir(path("elsewhere"), 0700), 0);
    ASSERT_EQ(::symlink("elsewhere", path("link")), 0);
    ASSERT_EQ(::close(::open(path("file"), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_TRUE(::mkdir(path("loose"), 0700) == 0 && ::chmod(path("loose"), 0777) == 0);
    ASSERT_TRUE(::mkdir(path("planted"), 0700) == 0 && // its lock file leads somewhere else
                ::symlink("../victim", path("planted/bridge-127.0.0.2-2362.lock")) == 0);
    ASSERT_EQ(::mkdir(path("foreign"), 0700), 0);
    const bool root = ::geteuid() == 0 && ::chown(path("foreign"), 65534, 65534) == 0;
    const std::tuple<const char*, State, const char*> rows[] = {
        {"link", State::Unavailable, "is a symbolic link or not a folder"},
        {"file", State::Unavailable, "is a symbolic link or not a folder"},
        {"missing/deeper", State::Unavailable, "cannot be made"},
        {"planted", State::Unavailable, "bridge-127.0.0.2-2362.lock cannot be used"},
        {"foreign", root ? State::Unavailable : State::Held, root ? "belongs to another user" : ""},
        {"loose", State::Held, ""}, // ours: made owner-only
        {"fresh", State::Held, ""}}; // made owner-only
    for (const auto& [name, state, problem] : rows) {
        const BridgeLock lock("127.0.0.2", 2362, dir.filePath(name));
        EXPECT_EQ(lock.state(), state) << name;
        EXPECT_TRUE(lock.problem().contains(problem)) << name << ": " << lock.problem().toStdString();
        EXPECT_EQ(lock.refusal().isEmpty(), state == State::Held) << name;
    }
    struct stat loose {}, fresh {};
    EXPECT_TRUE(::stat(path("loose"), &loose) == 0 && ::stat(path("fresh"), &fresh) == 0);
    EXPECT_EQ(std::pair(loose.st_mode & 07777, fresh.st_mode & 07777), std::pair(0700u, 0700u));
    EXPECT_EQ(::access(path("victim"), F_OK), -1);
    EXPECT_EQ(::access(path("elsewhere/bridge-127.0.0.2-2362.lock"), F_OK), -1);
}

} // namespace
