#include "gui/windowlink.h"

#include "engine/devicelink.h"

#include <QCoreApplication>
#include <QPointer>

namespace brevion {

DeviceLink& WindowLink()
{
    // Parented to the application: a host that makes a new one for each Show gets a new link.
    static QPointer<DeviceLink> link;
    if (!link)
        link = new DeviceLink(QCoreApplication::instance());
    return *link;
}

} // namespace brevion
