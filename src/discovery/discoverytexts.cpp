#include "discovery/discoverytexts.h"

namespace brevion {

QString InstructionText()
{
    return QStringLiteral(
        "Click \"Search\" above to search the network for bridges.  Select one (if more than "
        "one was found) and click \"Configure\" to configure it.");
}

QString SearchingText()
{
    return QStringLiteral("Searching, please wait ...");
}

QString NoneFoundText()
{
    return QStringLiteral("No Vant Ethernet to Serial Bridge devices were found.");
}

QString CountText(int count)
{
    return QString::number(count) +
           (count >= 2 ? QStringLiteral(" Bridges found") : QStringLiteral(" Bridge found"));
}

QString PortInUseText(quint16 port)
{
    return QStringLiteral("UDP port %1 is in use by another program. Close it and search again.")
        .arg(port);
}

QString PortBusyHereText(quint16 port)
{
    return QStringLiteral("UDP port %1 is still in use by this program, which is waiting for a "
                          "device's reply on it. Search again in a few seconds.")
        .arg(port);
}

QString DuplicatesText()
{
    return QStringLiteral(
        "* Duplicate IP addresses found!  You should unplug one and connect to the other to "
        "change its IP Address.");
}

} // namespace brevion
