#include "quickfleet.h"

#include "sim/flash.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

QuickFleet::QuickFleet(int count, bool withFlash)
{
    talixsim::Faults quick;
    quick.eraseMs = 20;
    quick.restartSilentMs = 20;
    for (int i = 0; i < count; ++i) {
        talixsim::DeviceState device = talixsim::makeDevice(i, talixsim::Preset::Login);
        if (withFlash)
            talixsim::materializeFlash(device);
        fleet.setFaults(fleet.addDevice(device), quick);
    }
    QString error;
    if (!fleet.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        std::exit(1);
    }
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

} // namespace bench
