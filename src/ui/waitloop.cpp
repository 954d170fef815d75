#include "waitloop.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace brevion {

void WaitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::sendPostedEvents();
        if (done())
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace brevion
