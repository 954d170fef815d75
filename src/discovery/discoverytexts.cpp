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

QString DuplicatesText()
{
    return QStringLiteral(
        "* Duplicate IP addresses found!  You should unplug one and connect to the other to "
        "change its IP Address.");
}

} // namespace brevion
