#pragma once

// Waits for a condition while events are processed, at most boundMs; true when it came to hold.
// Use instead of fixed sleeps.

#include <QTest>

#include <functional>

namespace support {

inline bool waitUntil(const std::function<bool()>& condition, int boundMs = 5000)
{
    return QTest::qWaitFor(condition, boundMs);
}

} // namespace support
