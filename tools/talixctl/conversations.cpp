#include "conversations.h"

#include "talixctl.h"

#include <QEventLoop>

namespace talixctl {

using namespace brevion;

Outcome RunToEnd(Conversation& conversation)
{
    QEventLoop loop;
    QObject::connect(&conversation, &Conversation::finished, &loop, &QEventLoop::quit);
    conversation.start();
    if (!conversation.isFinished())
        loop.exec();
    return conversation.outcome();
}

void Talk(Conversation* c, std::function<void(const Outcome&)> then)
{
    QObject::connect(c, &Conversation::finished, c, [c, then = std::move(then)](const Outcome& o) {
        c->deleteLater();
        then(o);
    });
    c->start();
}

UpdateConversation::Timings UpdateTimings(int speedup)
{
    UpdateConversation::Timings t;
    if (speedup <= 1)
        return t;
    for (int* ms : {&t.eraseWaitMs, &t.blockWaitMs, &t.restartWaitMs, &t.readWaitMs, &t.pauseMs, &t.afterEraseMs,
                    &t.afterEraseErasedMs, &t.afterRestartMs})
        *ms = std::max(1, *ms / speedup);
    return t;
}

int ExitCodeOf(const Outcome& outcome)
{
    switch (outcome.code) {
    case Outcome::Code::Accepted:
        return kSuccess;
    case Outcome::Code::VersionMismatch:
        return kRestartUnconfirmed;
    default:
        return kDeviceFailed;
    }
}

QString UnsentNote(const DiscoverConversation& search)
{
    if (search.unsent() == 0)
        return {};
    return QStringLiteral("%1 of %2 search requests could not be sent; the first to %3")
        .arg(search.unsent())
        .arg(search.requests())
        .arg(search.firstUnsent());
}

} // namespace talixctl
