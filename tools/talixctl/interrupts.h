#pragma once

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

namespace talixctl {

// While it lives, SIGINT and SIGTERM do not end the process: each becomes a call of onSignal
// (with the signal's number) from the event loop. The handler itself only writes the number into
// a pipe, which is all a signal handler may safely do; the event loop reads it. One at a time.
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
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    bool m_installed = false;
};

} // namespace talixctl
