#include "common/regularfile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <utility>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevion {
namespace {

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString SizeText(qint64 bytes)
{
    if (bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString KindText(mode_t mode)
{
    return S_ISDIR(mode) ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// The folder part of a path as the system reads it: no cleaning, so ".." after a link to a
// folder keeps its meaning.
QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The file a chain of symbolic links ends at (path itself when it is no link); that file may not
// exist yet.
std::optional<QByteArray> FollowLinks(QByteArray path, QString& failure)
{
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (hops == 40) { // the system's own limit on a chain
            failure = ErrnoText(ELOOP);
            return std::nullopt;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), target.size());
        if (n < 0 || n >= target.size()) {
            failure = ErrnoText(n < 0 ? errno : ENAMETOOLONG);
            return std::nullopt;
        }
        target.truncate(n);
        path = target.startsWith('/') ? target : FolderOf(path) + '/' + target;
    }
}

// An interrupt while the temporary file exists would leave it behind: the signals wait until it
// has been renamed or removed, then act as they would have.
constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_heldSignal = 0;

extern "C" void HoldSignal(int signal)
{
    g_heldSignal = signal;
}

class SignalsHeld {
public:
    SignalsHeld()
    {
        struct sigaction hold {};
        hold.sa_handler = HoldSignal;
        sigemptyset(&hold.sa_mask);
        hold.sa_flags = SA_RESTART;
        for (int i = 0; i < kHeldCount; ++i)
            ::sigaction(kHeldSignals[i], &hold, &m_previous[i]);
    }
    ~SignalsHeld()
    {
        for (int i = 0; i < kHeldCount; ++i)
            ::sigaction(kHeldSignals[i], &m_previous[i], nullptr);
        if (const int signal = g_heldSignal; signal != 0) {
            g_heldSignal = 0;
            ::raise(signal);
        }
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    static constexpr int kHeldCount = int(std::size(kHeldSignals));
    struct sigaction m_previous[kHeldCount] {};
};

// A temporary file that is removed unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(const QByteArray& folder)
        // A short name: the target's own name may already use the whole NAME_MAX.
        : m_name(folder + "/.brevion-XXXXXX"), m_fd(::mkostemp(m_name.data(), O_CLOEXEC))
    {
    }
    ~TemporaryFile()
    {
        if (m_created && !m_kept)
            ::unlink(m_name.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    bool created() const { return m_created; }
    int fd() const { return m_fd.get(); }
    const QByteArray& name() const { return m_name; }
    bool close() { return ::close(m_fd.release()) == 0; }
    void keep() { m_kept = true; }

private:
    QByteArray m_name;
    Descriptor m_fd;
    bool m_created = m_fd.get() >= 0;
    bool m_kept = false;
};

bool WriteAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? n : 0;
    }
    return true;
}

} // namespace

RegularFileRead ReadRegularFile(const QString& path, qint64 maxBytes)
{
    RegularFileRead result;
    auto fail = [&](RegularFileRead::Problem problem, const QString& reason, int error = 0) {
        result.problem = problem;
        result.reason = reason;
        result.errorNumber = error;
        return result;
    };
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return fail(RegularFileRead::Problem::CannotOpen, ErrnoText(errno), errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return fail(RegularFileRead::Problem::ReadFailed, ErrnoText(errno), errno);
    if (!S_ISREG(st.st_mode))
        return fail(RegularFileRead::Problem::NotRegular, KindText(st.st_mode));
    const QString tooLarge = QStringLiteral("it is larger than %1").arg(SizeText(maxBytes));
    if (st.st_size > maxBytes)
        return fail(RegularFileRead::Problem::TooLarge, tooLarge);

    // The size is only a hint: the file may grow meanwhile, and some report 0.
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(RegularFileRead::Problem::ReadFailed, ErrnoText(errno), errno);
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > maxBytes)
            return fail(RegularFileRead::Problem::TooLarge, tooLarge);
    }
    result.bytes = std::move(bytes);
    return result;
}

std::optional<QString> ReplaceRegularFile(const QString& path, const QByteArray& bytes, ReplaceMode mode)
{
    if (path.isEmpty())
        return QStringLiteral("no file name was given");
    const bool here = mode == ReplaceMode::OwnerOnlyHere;
    QString failure;
    const QByteArray name = QFile::encodeName(path);
    const std::optional<QByteArray> target = here ? name : FollowLinks(name, failure);
    if (!target)
        return failure;
    struct stat existing {};
    const bool exists = (here ? ::lstat : ::stat)(target->constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode) && !(here && S_ISLNK(existing.st_mode)))
        return KindText(existing.st_mode);

    const SignalsHeld held;
    TemporaryFile temp(FolderOf(*target)); // created readable and writable by its owner only
    if (!temp.created())
        return ErrnoText(errno);
    if (!WriteAll(temp.fd(), bytes) || ::fsync(temp.fd()) != 0)
        return ErrnoText(errno);
    if ((here || exists) && ::fchmod(temp.fd(), here ? mode_t(0600) : existing.st_mode & 07777) != 0)
        return ErrnoText(errno);
    if (!temp.close() || ::rename(temp.name().constData(), target->constData()) != 0)
        return ErrnoText(errno);
    temp.keep(); // its name now belongs to the target
    return std::nullopt;
}

} // namespace brevion
