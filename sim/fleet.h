#pragma once

#include "sim/devicestate.h"
#include "sim/faults.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace talixsim {

struct FleetOptions {
    quint16 port = 2362;               // 0: any free port, see Fleet::port()
    quint32 bindAddress = 0;           // host order; 0 = all local addresses
    quint32 seed = 1;                  // for the share-of-datagrams faults
    std::size_t trafficLimit = 200000; // oldest entries go first beyond this
};

struct TrafficEntry {
    enum class Direction { In, Out };
    std::chrono::steady_clock::time_point time;
    Direction direction = Direction::In;
    quint32 local = 0; // In: the destination the request was sent to; Out: the source used
    quint32 peer = 0;  // the other end
    quint16 peerPort = 0;
    int device = -1; // In: the addressed device, -1 for a datagram to no device's address
    QByteArray bytes;
};

// Many simulated devices behind one UDP socket. The socket learns each request's destination
// (IP_PKTINFO) and sends each reply from its device's address, so thousands of devices on
// 127.0.0.0/8 need neither a socket nor a configured address each. A broadcast (255.255.255.255,
// or a device's subnet broadcast by its mask: 127.255.255.255 for 255.0.0.0) reaches every device
// it addresses; only discovery is answered from it. A datagram to any other address that is no
// device's reaches nobody. Replies go only to peers in 127.0.0.0/8 and 198.18.0.0/15.
//
// All members are thread-safe; the devices run on the fleet's own thread.
class Fleet {
public:
    explicit Fleet(FleetOptions options = {});
    ~Fleet(); // stops
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const;
    quint16 port() const; // the bound port once started

    int addDevice(const DeviceState& device); // returns its index; before or after start()
    int deviceCount() const;
    DeviceState device(int index) const;
    void setDevice(int index, const DeviceState& device);
    Faults faults(int index) const;
    void setFaults(int index, const Faults& faults);
    void setAllFaults(const Faults& faults);
    std::vector<int> devicesAt(quint32 address) const;
    int deviceAt(quint32 address) const; // the first, or -1
    bool isRestarting(int index) const;  // silent after a restart
    bool isErasing(int index) const;

    std::vector<TrafficEntry> traffic() const;
    void clearTraffic();
    // Waits until pred(traffic) holds or the time-out passes; true when it held.
    bool waitForTraffic(const std::function<bool(const std::vector<TrafficEntry>&)>& pred,
                        std::chrono::milliseconds timeout) const;
    // Waits until at least count datagrams went out (from device `device`, or any when -1).
    bool waitForReplies(int count, std::chrono::milliseconds timeout, int device = -1) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace talixsim
