#include "interrupts.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace talixctl {
namespace {

volatile std::sig_atomic_t g_writeEnd = -1;

} // namespace

Interrupts::Interrupts(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (g_writeEnd >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Interrupts::readPipe);

    struct sigaction action {};
    action.sa_handler = &Interrupts::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kCaught); ++i)
        ::sigaction(kCaught[i], &action, &m_old[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &m_oldPipe);
    m_installed = true;
}

Interrupts::~Interrupts()
{
    if (!m_installed)
        return;
    for (size_t i = 0; i < std::size(kCaught); ++i)
        ::sigaction(kCaught[i], &m_old[i], nullptr);
    ::sigaction(SIGPIPE, &m_oldPipe, nullptr);
    g_writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void Interrupts::handler(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_writeEnd >= 0) {
        const ssize_t written = ::write(g_writeEnd, &byte, 1); // a full pipe holds signals enough
        static_cast<void>(written);
    }
    errno = saved;
}

void Interrupts::readPipe()
{
    unsigned char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            if (m_onSignal)
                m_onSignal(bytes[i]);
}

} // namespace talixctl
