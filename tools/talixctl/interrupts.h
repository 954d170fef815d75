#pragma once

#include <QObject>

#include <csignal>
#include <functional>
#include <iterator>

class QSocketNotifier;

namespace talixctl {

// While it lives, SIGINT, SIGTERM and SIGHUP do not end the process: each becomes a call of
// onSignal (with the signal's number) from the event loop. The handler itself only writes the
// number into a pipe, which is all a signal handler may safely do; the event loop reads it. One
// at a time. SIGHUP is the terminal or SSH session going away: nobody is left to decide, so the
// work under way must finish. SIGPIPE is ignored meanwhile: a message to a reader that has gone
// fails (the stream reports it) instead of ending the process.
class Interrupts : public QObject {
public:
    explicit Interrupts(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~Interrupts() override;

    bool Installed() const { return m_installed; }

private:
    static void handler(int signal);
    void readPipe();

    std::function<void(int)> m_onSignal;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    static constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_old[std::size(kCaught)] {};
    struct sigaction m_oldPipe {};
    bool m_installed = false;
};

} // namespace talixctl
