#pragma once

// Aborts the process when a scope outlives its bound, so a hang fails the test instead of
// stalling the suite: { support::Watchdog dog(5s, "save"); ... }

#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace support {

class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, QString what);
    ~Watchdog();

private:
    QString m_what;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace support
