#pragma once

#include "devicelist.h"
#include "networksettings.h"
#include "udpport.h"

#include <QByteArray>
#include <QObject>

namespace brevion {

// One discovery search: binds the local port, sends the request to the discovery address twice,
// half a second apart, and collects replies for one second from the first request into the
// device list; then closes the socket, so later replies are lost. Events are processed
// throughout, so the caller's windows stay responsive and replies are handled as they arrive.
class DiscoverySearch : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Completed, // the list holds whoever answered (maybe nobody)
        PortInUse, // another program holds the local port: nothing could be received
        Stopped,   // Close was called while the search ran
    };

    explicit DiscoverySearch(QObject* parent = nullptr);

    // Where to search; Network() unless set.
    void SetNetwork(const NetworkSettings& settings);
    const NetworkSettings& Settings() const { return m_settings; }

    Outcome Run();
    bool IsRunning() const { return m_running; }
    // With PortInUse: the port is held by this program itself (a command waiting for a
    // device's reply), not by another one.
    bool PortHeldHere() const { return m_portHeldHere; }
    // Closes the socket; a running search stops at once.
    void Close();

    DeviceList& Devices() { return m_devices; }
    const DeviceList& Devices() const { return m_devices; }
    UdpPort& Winsock1() { return m_port; }

    // Monotonic times of the two requests of the last search (0 when not sent).
    double FirstRequestTime() const { return m_sentAt[0]; }
    double SecondRequestTime() const { return m_sentAt[1]; }

    // The request repeats after this many seconds and replies are taken until twice that.
    static constexpr double kRepeatAfter = 0.5;

signals:
    void Cleared();
    // A device was inserted into the list at index.
    void DeviceAdded(int index);

private:
    void Winsock1_DataArrival(const QByteArray& datagram);
    void sendRequest(int which);
    void waitUntil(double deadline);

    UdpPort m_port;
    DeviceList m_devices;
    NetworkSettings m_settings = Network();
    bool m_ownSettings = false;
    bool m_running = false;
    bool m_stopped = false;
    bool m_portHeldHere = false;
    double m_sentAt[2] = {0, 0};
};

} // namespace brevion
