#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace support {

Watchdog::Watchdog(std::chrono::milliseconds limit, QString what)
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

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

} // namespace support
