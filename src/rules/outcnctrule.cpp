#include "rules/outcnctrule.h"

#include "common/nxfns.h"

namespace brevion {

int OutRuleTable::CountInUse() const
{
    int n = 0;
    for (int slot = 1; slot <= MaxOutRules; ++slot)
        n += OutRules[slot].InUse() ? 1 : 0;
    return n;
}

int OutRuleTable::FirstFreeSlot() const
{
    for (int slot = 1; slot <= MaxOutRules; ++slot)
        if (!OutRules[slot].InUse())
            return slot;
    return 0;
}

void OutRuleTable::RemoveSlot(int r)
{
    if (r < 1 || r > MaxOutRules)
        return;
    for (int i = r; i < MaxOutRules; ++i)
        OutRules[i] = OutRules[i + 1];
    OutRules[MaxOutRules] = EmptyRule();
}

QString RuleDescription(const OutCnctRule& rule)
{
    if (rule.IPAddr.isEmpty() || rule.Port == 0)
        return {};
    QString s = QStringLiteral("Connect to ") + TrimBlanks(rule.IPAddr) + QStringLiteral(", Port ") +
                QString::number(rule.Port);
    s += (rule.Flags & OUT_TCP) ? QStringLiteral(", using TCP") : QStringLiteral(", using UDP");
    s += (rule.Flags & OUT_POWERUP) ? QStringLiteral(" upon powerup or reboot.")
                                    : QStringLiteral(" when incoming data is detected on the serial port.");
    if (rule.Flags & OUT_LOGIN)
        s += QStringLiteral(" Login with the specified username/password when prompted.");
    if (rule.IdleSecs != 0)
        s += QStringLiteral(" Remain connected until ") + QString::number(rule.IdleSecs) +
             QStringLiteral(" seconds of inactivity.");
    else
        s += QStringLiteral(" Remain connected indefinitely.");
    return s;
}

} // namespace brevion
