#pragma once

#include <QString>

namespace brevion {

// Where the component talks to. The defaults are the real ones; tests, the demo and the tools
// point them at simulated devices.
struct NetworkSettings {
    quint16 devicePort = 2362;
    quint16 localPort = 2362;
    QString discoveryAddress = QStringLiteral("255.255.255.255");
    bool operator==(const NetworkSettings&) const = default;
};

const NetworkSettings& Network();
void SetNetwork(const NetworkSettings& settings);

} // namespace brevion
