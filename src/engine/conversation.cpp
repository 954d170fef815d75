#include "engine/conversation.h"

#include "engine/devicelink.h"
#include "common/nxfns.h"
#include "wire/wireformat.h"

namespace brevion {

Conversation::Conversation(DeviceLink& link, const QHostAddress& device, QObject* parent)
    : QObject(parent), m_link(&link), m_device(device)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Conversation::tick);
    m_clock.start();
}

Conversation::~Conversation()
{
    if (m_link && (m_state == State::Queued || m_state == State::Running))
        m_link->leave(this);
}

void Conversation::start()
{
    if (m_state != State::Idle)
        return;
    if (!m_link) {
        finish({Outcome::Code::Cancelled, QStringLiteral("The device link is closed.")});
        return;
    }
    if (!m_device.isNull()) {
        bool ok = false;
        m_ipv4 = m_device.toIPv4Address(&ok);
        if (!ok) {
            finish({Outcome::Code::SendFailed, QStringLiteral("%1 is not an IPv4 address.").arg(m_device.toString())});
            return;
        }
    }
    m_state = State::Queued;
    m_link->enlist(this);
}

void Conversation::cancel() { finish({Outcome::Code::Cancelled, {}}); }

void Conversation::turnCame()
{
    if (m_state != State::Queued)
        return;
    m_state = State::Running;
    begin();
}

void Conversation::heard(const QByteArray& datagram)
{
    if (m_state != State::Running || !m_waiting || !m_requestOut)
        return;
    if (datagram.size() < wire::kMinAnswerBytes || datagram[0] != wire::kX || !answers(datagram))
        return;
    disarm();
    m_waiting = false;
    replied(datagram);
}

void Conversation::request(const QByteArray& datagram, int waitMs)
{
    if (m_state != State::Running)
        return;
    m_waiting = true;
    m_requestOut = false;
    arm(waitMs);
    m_link->transmit(this, datagram, m_device);
}

void Conversation::broadcast(const QByteArray& datagram)
{
    if (m_state != State::Running)
        return;
    // Read strictly: a lenient reading would turn "0127.0.0.2" into an address off this network.
    const std::optional<quint32> address = ParseIPv4(m_link->network().discoveryAddress);
    if (!address) {
        sendFailed(QStringLiteral("Invalid discovery address \"%1\"").arg(m_link->network().discoveryAddress));
        return;
    }
    m_link->transmit(this, datagram, QHostAddress(*address));
}

void Conversation::sendTo(const QByteArray& datagram, const QHostAddress& destination)
{
    if (m_state == State::Running)
        m_link->transmit(this, datagram, destination);
}

void Conversation::pause(int ms)
{
    m_waiting = false;
    arm(ms);
}

void Conversation::arm(int ms)
{
    m_deadlineNs = m_clock.nsecsElapsed() + qint64(ms) * 1'000'000;
    if (!m_timer.isActive() || m_timerDueNs > m_deadlineNs) {
        m_timer.start(ms);
        m_timerDueNs = m_deadlineNs;
    }
}

void Conversation::left()
{
    m_requestOut = true;
    requestLeft();
}

void Conversation::sendFailed(const QString& detail) { finish({Outcome::Code::SendFailed, detail}); }

void Conversation::linkGone()
{
    m_link = nullptr;
    finish({Outcome::Code::Cancelled, QStringLiteral("The device link was closed.")});
}

void Conversation::tick()
{
    if (m_state != State::Running || m_deadlineNs < 0)
        return;
    const qint64 left = m_deadlineNs - m_clock.nsecsElapsed();
    if (left > 0) {
        // Armed again after the timer was started: wait for the rest.
        m_timer.start(int((left + 999'999) / 1'000'000));
        m_timerDueNs = m_deadlineNs;
        return;
    }
    disarm();
    m_waiting = false;
    timedOut();
}

void Conversation::finish(Outcome outcome)
{
    if (m_state == State::Finished)
        return;
    const bool enlisted = m_state == State::Queued || m_state == State::Running;
    m_state = State::Finished;
    m_waiting = false;
    m_timer.stop();
    disarm();
    m_outcome = std::move(outcome);
    if (enlisted && m_link)
        m_link->leave(this);
    emit finished(m_outcome);
}

} // namespace brevion
