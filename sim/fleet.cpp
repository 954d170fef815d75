#include "fleet.h"

namespace talixsim {

struct Fleet::Impl {};

Fleet::Fleet(FleetOptions) : d(std::make_unique<Impl>()) {}
Fleet::~Fleet() = default;
bool Fleet::start(QString*) { return false; }
void Fleet::stop() {}
bool Fleet::isRunning() const { return false; }
quint16 Fleet::port() const { return 0; }
int Fleet::addDevice(const DeviceState&) { return -1; }
int Fleet::deviceCount() const { return 0; }
DeviceState Fleet::device(int) const { return {}; }
void Fleet::setDevice(int, const DeviceState&) {}
Faults Fleet::faults(int) const { return {}; }
void Fleet::setFaults(int, const Faults&) {}
void Fleet::setAllFaults(const Faults&) {}
std::vector<int> Fleet::devicesAt(quint32) const { return {}; }
int Fleet::deviceAt(quint32) const { return -1; }
bool Fleet::isRestarting(int) const { return false; }
bool Fleet::isErasing(int) const { return false; }
std::vector<TrafficEntry> Fleet::traffic() const { return {}; }
void Fleet::clearTraffic() {}
bool Fleet::waitForTraffic(const std::function<bool(const std::vector<TrafficEntry>&)>&,
                           std::chrono::milliseconds) const { return false; }
bool Fleet::waitForReplies(int, std::chrono::milliseconds, int) const { return false; }

} // namespace talixsim
