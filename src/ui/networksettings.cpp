#include "ui/networksettings.h"

namespace brevion {
namespace {
NetworkSettings g_network;
}

const NetworkSettings& Network() { return g_network; }
void SetNetwork(const NetworkSettings& settings) { g_network = settings; }

} // namespace brevion
