#pragma once

// What the fault tests share: a watchdog that ends a hung test, a recording message sink, and a
// simulated device on loopback.

#include "fleet.h"
#include "message.h"
#include "networksettings.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace faulttest {

// Aborts the process when an operation outlives its bound, so a hang fails the test instead of
// stalling the suite.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, QString what)
        : m_what(std::move(what)), m_thread([this, limit] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_cv.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "HANG: %s outlived %lld ms\n", qPrintable(m_what),
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    QString m_what;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

// Records every message; answers Yes/No boxes with `yes` and Retry/Cancel boxes with Cancel.
struct Recorder {
    std::vector<brevion::Message> shown;
    bool yes = false;
    brevion::MessageSink sink()
    {
        return [this](const brevion::Message& m) {
            shown.push_back(m);
            if (m.buttons == brevion::MsgButtons::YesNo)
                return yes ? brevion::MsgAnswer::Yes : brevion::MsgAnswer::No;
            return m.buttons == brevion::MsgButtons::RetryCancel ? brevion::MsgAnswer::Cancel : brevion::MsgAnswer::Ok;
        };
    }
    int count(const brevion::Message& m) const
    {
        int n = 0;
        for (const auto& s : shown)
            n += s == m;
        return n;
    }
    QStringList titles() const
    {
        QStringList out;
        for (const auto& s : shown)
            out << s.title;
        return out;
    }
};

// Simulated devices on 127.0.0.2 onward, answering on a free port; the component talks from
// localPort. Restarts and erases are short so that a test waits little.
struct Devices {
    talixsim::Fleet fleet;
    explicit Devices(quint16 localPort, int count = 1, talixsim::Preset preset = talixsim::Preset::Login,
                     quint32 seed = 7)
        : fleet(talixsim::FleetOptions{0, 0, seed, 200000})
    {
        for (int i = 0; i < count; ++i) {
            const int index = fleet.addDevice(talixsim::makeDevice(i, preset));
            talixsim::Faults f;
            f.eraseMs = 50;
            f.restartSilentMs = 300;
            fleet.setFaults(index, f);
        }
        fleet.start();
        brevion::SetNetwork({fleet.port(), localPort, QStringLiteral("127.0.0.1")});
    }
    QString ip(int index = 0) const { return talixsim::ipToText(fleet.device(index).address); }
    template <typename Change> void faults(Change change, int index = 0)
    {
        talixsim::Faults f = fleet.faults(index);
        change(f);
        fleet.setFaults(index, f);
    }
};

} // namespace faulttest
