#include "rig.h"

#include "ui/networksettings.h"

#include <QUdpSocket>

namespace support {

quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress))
        qFatal("no free UDP port: %s", qPrintable(probe.errorString()));
    return probe.localPort();
}

std::vector<talixsim::DeviceState> Rig::devices(int count, talixsim::Preset preset)
{
    std::vector<talixsim::DeviceState> list;
    for (int i = 0; i < count; ++i)
        list.push_back(talixsim::makeDevice(i, preset));
    return list;
}

Rig::Rig(int count, talixsim::Preset preset, quint32 seed) : Rig(devices(count, preset), seed) {}

Rig::Rig(const std::vector<talixsim::DeviceState>& devices, quint32 seed)
    : fleet(talixsim::FleetOptions{0, 0, seed, 200000})
{
    talixsim::Faults quick;
    quick.eraseMs = 50;
    quick.restartSilentMs = 300;
    for (const talixsim::DeviceState& d : devices)
        fleet.setFaults(fleet.addDevice(d), quick);
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
    return int(datagrams().size());
}

QList<QByteArray> Rig::datagrams() const
{
    QList<QByteArray> in;
    for (const talixsim::TrafficEntry& e : fleet.traffic())
        if (e.direction == talixsim::TrafficEntry::Direction::In)
            in << e.bytes;
    return in;
}

} // namespace support
