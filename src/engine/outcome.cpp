#include "engine/outcome.h"

namespace brevion {

QString OutcomeName(Outcome::Code code)
{
    switch (code) {
    case Outcome::Code::Accepted:
        return QStringLiteral("accepted");
    case Outcome::Code::Refused:
        return QStringLiteral("refused");
    case Outcome::Code::TimedOut:
        return QStringLiteral("timed-out");
    case Outcome::Code::CorruptReply:
        return QStringLiteral("corrupt-reply");
    case Outcome::Code::OtherReply:
        return QStringLiteral("other-reply");
    case Outcome::Code::PortInUse:
        return QStringLiteral("port-in-use");
    case Outcome::Code::SendFailed:
        return QStringLiteral("send-failed");
    case Outcome::Code::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::Code::VersionMismatch:
        return QStringLiteral("version-mismatch");
    }
    return QStringLiteral("unknown");
}

} // namespace brevion
