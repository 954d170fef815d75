#include "rig.h"

#include "networksettings.h"

#include <QUdpSocket>

namespace support {

quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress))
        qFatal("no free UDP port: %s", qPrintable(probe.errorString()));
    return probe.localPort();
}

Rig::Rig(int count, talixsim::Preset preset, quint32 seed)
    : Rig(
          [&] {
              std::vector<talixsim::DeviceState> devices;
              for (int i = 0; i < count; ++i)
                  devices.push_back(talixsim::makeDevice(i, preset));
              return devices;
          }(),
          seed)
{
}

Rig::Rig(const std::vector<talixsim::DeviceState>& devices, quint32 seed)
    : fleet(talixsim::FleetOptions{0, 0, seed, 200000})
{
    for (const talixsim::DeviceState& d : devices) {
        const int index = fleet.addDevice(d);
        talixsim::Faults f;
        f.eraseMs = 50;
        f.restartSilentMs = 300;
        fleet.setFaults(index, f);
    }
    QString error;
    if (!fleet.start(&error))
        qFatal("simulated devices did not start: %s", qPrintable(error));
    localPort = freeUdpPort();
    brevion::SetNetwork({fleet.port(), localPort, QStringLiteral("127.255.255.255")});
}

Rig::~Rig()
{
    fleet.stop();
}

QString Rig::ip(int index) const
{
    return talixsim::ipToText(fleet.device(index).address);
}

void Rig::faults(const std::function<void(talixsim::Faults&)>& change, int index)
{
    talixsim::Faults f = fleet.faults(index);
    change(f);
    fleet.setFaults(index, f);
}

int Rig::received() const
{
    int n = 0;
    for (const talixsim::TrafficEntry& e : fleet.traffic())
        n += e.direction == talixsim::TrafficEntry::Direction::In;
    return n;
}

} // namespace support
