#pragma once

// The simulated device the update tests share.

#include "fleet.h"
#include "networksettings.h"
#include "updatefile.h"
#include "updateimage.h"

#include <QList>

#include <functional>

namespace updatetest {

// One simulated device at 127.0.0.2 that erases and restarts quickly; the component talks from
// localPort to the fleet's port.
struct SimDevice {
    talixsim::Fleet fleet{talixsim::FleetOptions{0, 0, 1, 200000}};
    int index = -1;
    QString ip;

    explicit SimDevice(quint16 localPort, const talixsim::DeviceState& state = talixsim::makeDevice(0, talixsim::Preset::Rules))
    {
        index = fleet.addDevice(state);
        talixsim::Faults f;
        f.eraseMs = 20;
        f.restartSilentMs = 100;
        fleet.setFaults(index, f);
        fleet.start();
        ip = talixsim::ipToText(fleet.device(index).address);
        brevion::SetNetwork({fleet.port(), localPort, QStringLiteral("127.255.255.255")});
    }
    void faults(const std::function<void(talixsim::Faults&)>& change)
    {
        talixsim::Faults f = fleet.faults(index);
        change(f);
        fleet.setFaults(index, f);
    }
    // The datagrams the device received, in order.
    QList<QByteArray> received() const
    {
        QList<QByteArray> out;
        for (const auto& e : fleet.traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In && e.device == index)
                out << e.bytes;
        return out;
    }
};

} // namespace updatetest
