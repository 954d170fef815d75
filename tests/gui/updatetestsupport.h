#pragma once

// The simulated device the update tests share: the test rig with one device, Rules layout unless
// told, on the rig's own free local port.

#include "rig.h"
#include "sim/updateimage.h"

#include <QList>

namespace updatetest {

struct SimDevice : support::Rig {
    explicit SimDevice(quint16 = 0, const talixsim::DeviceState& state = talixsim::makeDevice(0, talixsim::Preset::Rules))
        : Rig(std::vector<talixsim::DeviceState>{state}), ip(Rig::ip())
    {
    }
    // The datagrams the device received, in order.
    QList<QByteArray> received() const
    {
        QList<QByteArray> out;
        for (const talixsim::TrafficEntry& e : fleet.traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In)
                out << e.bytes;
        return out;
    }
    const int index = 0;
    const QString ip;
};

} // namespace updatetest
