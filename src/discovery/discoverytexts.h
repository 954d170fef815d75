#pragma once

#include <QString>

namespace brevion {

// The sentences of the discovery window.
QString InstructionText();
QString SearchingText();
QString NoneFoundText();
// "1 Bridge found", "3 Bridges found".
QString CountText(int count);
// The search could not bind its port because another program holds it.
QString PortInUseText(quint16 port);
// The port is held by this program's own socket, waiting for a device's reply.
QString PortBusyHereText(quint16 port);
QString DuplicatesText();

} // namespace brevion
