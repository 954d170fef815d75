#include "rules/rulewizard.h"

#include "common/nxfns.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace brevion {

WizChoices WizChoicesFor(const OutCnctRule& editRule)
{
    WizChoices c;
    c.IPAddr = editRule.IPAddr;
    c.Port = editRule.Port == 0 ? QString() : QString::number(editRule.Port);
    c.TCP = (editRule.Flags & OUT_TCP) != 0;
    c.WhenPowerup = (editRule.Flags & OUT_POWERUP) != 0;
    c.LoginYes = (editRule.Flags & OUT_LOGIN) != 0;
    c.Indefinite = editRule.IdleSecs < 1;
    c.ForSeconds = editRule.IdleSecs < 1 ? QString() : QString::number(editRule.IdleSecs);
    return c;
}

QString BuildRuleText(int wizPage, const WizChoices& c, OutCnctRule& wizRule)
{
    QString s;
    if (wizPage > 0) {
        s = (c.TCP ? QStringLiteral("Connect to ") : QStringLiteral("Send to ")) +
            c.IPAddr.trimmed() + QStringLiteral(", Port ") + c.Port.trimmed() +
            (c.TCP ? QStringLiteral(", using TCP") : QStringLiteral(", using UDP"));
        wizRule.IPAddr = c.IPAddr;
        wizRule.Port = ToInt32(LeadingNumber(c.Port));
        wizRule.Flags = c.TCP ? OUT_TCP : 0;
    }
    if (wizPage > 1) {
        // Only TCP rules connect on power-up.
        if (c.TCP && c.WhenPowerup) {
            s += QStringLiteral(" upon powerup or reboot.");
            wizRule.Flags |= OUT_POWERUP;
        } else {
            s += QStringLiteral(" when incoming data is detected on the serial port.");
        }
    }
    if (wizPage > 2 && c.LoginYes) {
        s += QStringLiteral(" Login with the specified username/password when prompted.");
        wizRule.Flags |= OUT_LOGIN;
    }
    if (wizPage == 4 && c.TCP) {
        if (c.WhenPowerup || c.Indefinite) {
            s += QStringLiteral(" Remain connected indefinitely.");
            wizRule.IdleSecs = 0;
        } else {
            s += QStringLiteral(" Remain connected until ") + c.ForSeconds.trimmed() +
                 QStringLiteral(" seconds of inactivity.");
            wizRule.IdleSecs = ToInt32(LeadingNumber(c.ForSeconds));
        }
    }
    return s;
}

std::optional<QString> WizPageProblem(int wizPage, const WizChoices& c)
{
    if (wizPage == 0) {
        if (!IsValidIP(c.IPAddr))
            return QStringLiteral(
                "Invalid IP Address.\r\nPlease enter an address of the form '192.168.1.1'.");
        const auto port = NumericValue(c.Port);
        if (!port || *port < 1 || *port > 65535)
            return QStringLiteral(
                "Invalid Port value.\r\nPlease choose a port between 1 and 65535.");
    }
    if (wizPage == 3 && !c.Indefinite) {
        const double seconds = LeadingNumber(c.ForSeconds);
        if (seconds < 1 || seconds > kMaxIdleSecs)
            return QStringLiteral(
                "Invalid inactivity time.\r\nPlease enter a value between 1 and 3600.");
    }
    return std::nullopt;
}

int WizNextPage(int wizPage, const WizChoices& c)
{
    switch (wizPage) {
    case 0:
        return c.TCP ? 1 : 4;
    case 1:
        return 2;
    case 2:
        return c.WhenPowerup ? 4 : 3;
    case 3:
        return 4;
    default:
        return kWizDone;
    }
}

int WizBackPage(int wizPage, const WizChoices& c)
{
    switch (wizPage) {
    case 1:
    case 2:
    case 3:
        return wizPage - 1;
    case 4:
        return !c.TCP ? 0 : c.WhenPowerup ? 2 : 3;
    default:
        return 0;
    }
}

QString WizHelpText(int wizPage)
{
    QStringList lines;
    switch (wizPage) {
    case 0:
        lines = {
            QStringLiteral(
                "Enter the IP address and port to connect to. TCP connections may remain"),
            QStringLiteral(
                "connected for continuous flow of data back and forth. UDP is a connectionless"),
            QStringLiteral(
                "protocol. Use it when you simply want to send or broadcast data without"),
            QStringLiteral("receiving a response.")};
        break;
    case 1:
        lines = {
            QStringLiteral(
                "Select whether the connection should occur on powerup/reboot or whenever"),
            QStringLiteral(
                "the TALIX receives any serial data. If you choose on powerup/reboot, the"),
            QStringLiteral(
                "connection will remain open indefinitely.  If you choose to connect when"),
            QStringLiteral(
                "serial data arrives, the connection will be made and the data will be passed"),
            QStringLiteral(
                "on to the new connection. The connection may remain open indefinitely or for"),
            QStringLiteral("a period of time (selectable on the following screen).")};
        break;
    case 2:
        lines = {
            QStringLiteral(
                "Select whether or not the TALIX should look for a specific login prompt and"),
            QStringLiteral(
                "reply with a username and password to log in.  If it should, enter the"),
            QStringLiteral(
                "prompts to look for and the username and password to reply with in the"),
            QStringLiteral(
                "\"Login Prompt and Reply\" section of the main configuration screen (below the"),
            QStringLiteral(
                "Outgoing Connection Rules).  If the TALIX is enabled to login, it will wait"),
            QStringLiteral(
                "for the prompts after making the connection.  Enter the prompts to look for"),
            QStringLiteral("EXACTLTY as they are expected.  Upper and lower case is significant.")};
        break;
    case 3:
        lines = {
            QStringLiteral(
                "Select whether the connection should remain open indefinitely or for a period"),
            QStringLiteral(
                "of time. If you choose indefinite and the connection is dropped, the TALIX"),
            QStringLiteral(
                "will automatically attempt to re-connect. If you choose a time period, enter"),
            QStringLiteral(
                "a value between 1 and 3600 seconds (one hour). This is an inactivity timer."),
            QStringLiteral(
                "If the connection goes idle (no data sent or received) for the duration of"),
            QStringLiteral("this time, the connection will be closed.")};
        break;
    case 4:
        lines = {QStringLiteral("You have completed the Outgoing Connection Wizard."), QString(),
                 QStringLiteral("Click Done to accept the rule you just created."),
                 QStringLiteral("Click Back to change it."),
                 QStringLiteral("Click Cancel to quit without saving it.")};
        break;
    default:
        break;
    }
    return lines.join(QStringLiteral("\r\n"));
}

double LeadingNumber(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        negative = t[i++] == QLatin1Char('-');
    double value = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i)
        value = value * 10 + (t[i].unicode() - '0');
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        double scale = 0.1;
        for (++i; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, scale /= 10)
            value += (t[i].unicode() - '0') * scale;
    }
    return negative ? -value : value;
}

qint32 ToInt32(double value)
{
    const double r = RoundHalfEven(value);
    if (!std::isfinite(r) || r >= double(std::numeric_limits<qint32>::max()))
        return r < 0 ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    if (r <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(r);
}

} // namespace brevion
