#pragma once

// Simulated devices on 127.0.0.2 onward, on a port the kernel chose, and the program pointed at
// them (SetNetwork) from a local port that was free a moment ago: no hand-assigned ports, so tests
// run side by side. Erases and restarts are short so that a test waits little. The network
// settings stay on loopback after the rig is gone: the defaults would broadcast beyond this host.

#include "sim/fleet.h"

#include <QList>
#include <QString>

#include <functional>
#include <vector>

namespace support {

// A UDP port nothing on this machine is bound to right now.
quint16 freeUdpPort();

struct Rig {
    explicit Rig(int count = 1, talixsim::Preset preset = talixsim::Preset::Login, quint32 seed = 7);
    explicit Rig(const std::vector<talixsim::DeviceState>& devices, quint32 seed = 7);
    // The devices makeDevice(0..count-1, preset) describes.
    static std::vector<talixsim::DeviceState> devices(int count, talixsim::Preset preset);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    QString ip(int index = 0) const;
    void faults(const std::function<void(talixsim::Faults&)>& change, int index = 0);
    // Datagrams the devices received (from anyone): how many, and which in order.
    int received() const;
    QList<QByteArray> datagrams() const;

    talixsim::Fleet fleet;
    quint16 localPort = 0;
};

} // namespace support
