#pragma once

// Aborts the process when a scope outlives its bound, so a hang fails the test instead of
// stalling the suite: { support::Watchdog dog(5s, "save"); ... }

#include <QString>

#include <chrono>
#include <future>
#include <thread>

namespace support {

class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, QString what);
    ~Watchdog();

private:
    std::promise<void> m_done;
    std::thread m_thread;
};

} // namespace support
