#include "common/bridgelock.h"

#include <QFile>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevion {
namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder's descriptor, made owner-only when it was missing. A symbolic link, anything but a
// folder, or a folder of another user is refused: another user could read or replace the locks.
int openFolder(const QString& folder, QString& problem)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        problem = QStringLiteral("%1 cannot be made: %2").arg(folder, errnoText(errno));
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP || errno == ENOTDIR
                      ? QStringLiteral("%1 is a symbolic link or not a folder").arg(folder)
                      : QStringLiteral("%1 cannot be opened: %2").arg(folder, errnoText(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        problem = QStringLiteral("%1 belongs to another user").arg(folder);
        ::close(fd);
        return -1;
    }
    if ((st.st_mode & 077) != 0)
        static_cast<void>(::fchmod(fd, 0700)); // ours: only its owner needs it
    return fd;
}

// The lock file's name: the address and port, with nothing that could leave the folder.
QByteArray fileName(const QString& address, quint16 port)
{
    QByteArray name = "bridge-" + address.toLatin1() + '-' + QByteArray::number(port) + ".lock";
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':'))
            c = '_';
    return name;
}

qint64 readHolder(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::strtoll(text, nullptr, 10) : 0;
}

} // namespace

QString BridgeLock::BridgeLockFolder()
{
    // su and sudo may pass on another user's XDG_RUNTIME_DIR: a folder made there would lock
    // that user out later, so only one's own is used.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid())
        return QFile::decodeName(runtime) + QStringLiteral("/brevion");
    return QStringLiteral("/tmp/brevion-%1").arg(::geteuid());
}

BridgeLock::BridgeLock(const QString& address, quint16 port, const QString& folder)
    : m_address(address), m_port(port)
{
    const int dir = openFolder(folder, m_problem);
    if (dir < 0)
        return;
    const QByteArray name = fileName(address, port);
    m_fd = ::openat(dir, name.constData(),
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    const int openError = errno;
    ::close(dir);
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_problem =
            QStringLiteral("%1/%2 cannot be used: %3")
                .arg(folder, QString::fromLatin1(name),
                     m_fd < 0 ? errnoText(openError) : QStringLiteral("not a regular file"));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_state = State::HeldElsewhere;
            m_holder = readHolder(m_fd);
        } else {
            m_problem = QStringLiteral("%1/%2 cannot be locked: %3")
                            .arg(folder, QString::fromLatin1(name), errnoText(error));
        }
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_state = State::Held;
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(m_fd, 0) == 0)
        static_cast<void>(::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0));
}

BridgeLock::~BridgeLock()
{
    if (m_fd < 0)
        return;
    static_cast<void>(::ftruncate(m_fd, 0)); // no stale id for the next reader
    ::close(m_fd);                           // lets the lock go
}

BridgeLock::BridgeLock(BridgeLock&& other) noexcept
    : m_address(std::move(other.m_address)), m_port(other.m_port), m_state(other.m_state),
      m_fd(other.m_fd), m_holder(other.m_holder), m_problem(std::move(other.m_problem))
{
    other.m_fd = -1;
    other.m_state = State::Unavailable;
}

QString BridgeLock::refusal() const
{
    switch (m_state) {
    case State::Held:
        return QString();
    case State::HeldElsewhere:
        return QStringLiteral(
                   "The device at %1 is in use by another program%2: an update, a save or a MAC "
                   "programming is under way. Nothing was sent; try again when it has finished.")
            .arg(m_address,
                 m_holder > 0 ? QStringLiteral(" (process %1)").arg(m_holder) : QString());
    case State::Unavailable:
        break;
    }
    return QStringLiteral(
               "The device at %1 could not be reserved for this program: %2. Nothing was sent; set "
               "XDG_RUNTIME_DIR to a folder of your own, or remove that one.")
        .arg(m_address, m_problem);
}

} // namespace brevion
