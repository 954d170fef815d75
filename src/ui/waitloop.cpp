#include "ui/waitloop.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace brevion {

namespace {
WaitMode g_mode = WaitMode::Blocking;
}

void SetWaitMode(WaitMode mode)
{
    g_mode = mode;
}
WaitMode CurrentWaitMode()
{
    return g_mode;
}

void WaitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::sendPostedEvents();
        if (done())
            break;
        QCoreApplication::processEvents(
            g_mode == WaitMode::Polling ? QEventLoop::AllEvents : QEventLoop::WaitForMoreEvents);
    }
}

} // namespace brevion
