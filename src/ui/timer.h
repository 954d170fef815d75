#pragma once

#include <QObject>
#include <QTimer>

namespace brevion {

// A window timer: an interval in milliseconds, an enabled flag, and a tick every interval while
// enabled and the interval is above 0. Setting the interval or enabling a stopped timer starts a
// fresh countdown.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr);

    int Interval() const { return m_interval; }
    void setInterval(int ms);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

signals:
    void Tick();

private:
    void restart();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};

} // namespace brevion
