#include "wait.h"

#include <QTest>

namespace support {

bool waitUntil(const std::function<bool()>& condition, int boundMs)
{
    return QTest::qWaitFor(condition, boundMs);
}

} // namespace support
