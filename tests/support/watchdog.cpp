#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace support {

Watchdog::Watchdog(std::chrono::milliseconds limit, QString what)
    : m_thread([done = m_done.get_future(), limit, what] {
          if (done.wait_for(limit) == std::future_status::timeout) {
              std::fprintf(stderr, "HANG: %s outlived %lld ms\n", qPrintable(what), static_cast<long long>(limit.count()));
              std::abort();
          }
      })
{
}

Watchdog::~Watchdog()
{
    m_done.set_value();
    m_thread.join();
}

} // namespace support
