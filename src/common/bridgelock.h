#pragma once

#include <QString>

namespace brevion {

// Keeps every other program of this user away from one bridge while it lives: an update, a
// save, a MAC programming or an apply takes it before the first datagram and lets it go at its
// end, so two programs never interleave their erase and blocks or their save and reboot.
//
// One file per bridge (its address and device port), locked with flock: the kernel lets the
// lock go when the holder ends, however it ends, so no stale lock outlives a crash. The holder
// writes its process id into the file for the message of the program that finds it held. The
// files live in $XDG_RUNTIME_DIR/brevion, else in /tmp/brevion-<uid>; a folder that is a
// symbolic link, not a folder, or owned by another user is refused, never used. Programs of
// other users are not kept away: each user has a folder of their own.
class BridgeLock {
public:
    enum class State {
        Held,          // this object holds the bridge
        HeldElsewhere, // another program (or another part of this one) holds it
        Unavailable,   // the lock folder or file cannot be used; problem() says why
    };

    // Tries once, without waiting. folder: where the lock files live (BridgeLockFolder()).
    BridgeLock(const QString& address, quint16 port, const QString& folder = BridgeLockFolder());
    ~BridgeLock();
    BridgeLock(BridgeLock&& other) noexcept;
    BridgeLock& operator=(BridgeLock&&) = delete;
    BridgeLock(const BridgeLock&) = delete;
    BridgeLock& operator=(const BridgeLock&) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }
    // HeldElsewhere: the process that holds the bridge, 0 when it has not written its id yet.
    qint64 holder() const { return m_holder; }
    // Unavailable: what is wrong with the folder or the file.
    const QString& problem() const { return m_problem; }
    // Why the bridge may not be used now, in words for the user; empty while held.
    QString refusal() const;

    // $XDG_RUNTIME_DIR/brevion when XDG_RUNTIME_DIR names a folder of this user, else
    // /tmp/brevion-<uid>.
    static QString BridgeLockFolder();

private:
    QString m_address;
    quint16 m_port = 0;
    State m_state = State::Unavailable;
    int m_fd = -1;
    qint64 m_holder = 0;
    QString m_problem;
};

} // namespace brevion
