#pragma once

#include "engine/devicelink.h"
#include "engine/outcome.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace brevion {

class DeviceLink;

// One operation with one device over a DeviceLink: it sends requests, waits for each reply on
// its own one-shot timer and finishes once with an Outcome. Waiting costs nothing: there is no
// polling and no event loop of its own. start() enlists it on the link; cancel() ends it.
//
// Subclasses say what to send and judge what comes back. A device conversation hears only
// datagrams of at least 4 bytes that begin with "X", and only while a request of its own has
// left and is unanswered; the first one ends the wait.
class Conversation : public QObject {
    Q_OBJECT
public:
    ~Conversation() override;

    void start();
    // Finishes the conversation Cancelled, unless it has finished already.
    void cancel();
    bool isFinished() const { return m_state == State::Finished; }
    const Outcome& outcome() const { return m_outcome; }
    QHostAddress device() const { return m_device; }

signals:
    void finished(const brevion::Outcome& outcome);

protected:
    // device: null for a conversation that listens to every sender (discovery).
    Conversation(DeviceLink& link, const QHostAddress& device, QObject* parent);

    virtual void begin() = 0;                        // the device is ours now
    virtual void replied(const QByteArray& reply) = 0; // the reply that ended a wait
    // Whether a reply can answer the request in flight. One that cannot (a late copy of the
    // answer to an earlier command to the same device) is passed over and the wait goes on.
    virtual bool answers(const QByteArray&) const { return true; }
    virtual void timedOut() = 0;                     // a wait or pause ran out
    // Every datagram from the device (or, listening, from anyone) while the conversation runs;
    // by default the filter described above, then replied().
    virtual void heard(const QByteArray& datagram);

    // Sends a request to the device and waits up to waitMs for its reply.
    void request(const QByteArray& datagram, int waitMs);
    // Sends to the link's discovery address; nothing is awaited.
    void broadcast(const QByteArray& datagram);
    // Sends to any address; nothing is awaited (a search beyond the local segment).
    void sendTo(const QByteArray& datagram, const QHostAddress& destination);
    // A datagram of this conversation has left (each one: a request, a broadcast, a sendTo).
    virtual void requestLeft() {}
    // Hears the reply to the request in flight again after its wait ran out, without a time-out.
    void listenOn() { m_waiting = running() && m_requestOut; }
    // Waits ms without listening for a reply; timedOut() follows.
    void pause(int ms);
    void finish(Outcome outcome);
    // A datagram of this conversation could not leave (DeviceLink); by default it ends SendFailed.
    virtual void sendFailed(const QString& detail);
    bool waiting() const { return m_waiting; }
    bool running() const { return m_state == State::Running; }
    DeviceLink* link() const { return m_link; }

private:
    friend class DeviceLink;
    enum class State { Idle, Queued, Running, Finished };

    void turnCame();                        // DeviceLink: the device is free
    void left();                            // DeviceLink: the request is on its way
    void linkGone();
    void tick();
    // Waits run against a deadline; the timer is restarted only when it would fire too late,
    // so a reply that ends a wait and the next request cost no timer of their own.
    void arm(int ms);
    void disarm() { m_deadlineNs = -1; }

    QPointer<DeviceLink> m_link;
    QHostAddress m_device;
    quint32 m_ipv4 = 0;
    State m_state = State::Idle;
    Outcome m_outcome;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_deadlineNs = -1; // -1: nothing awaited
    qint64 m_timerDueNs = 0;
    bool m_waiting = false;    // a request awaits its reply
    bool m_requestOut = false; // ... and has left
};

} // namespace brevion
