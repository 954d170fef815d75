#include "quickfleet.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

QuickFleet::QuickFleet(int count)
{
    talixsim::Faults quick;
    quick.eraseMs = 20;
    quick.restartSilentMs = 20;
    for (int i = 0; i < count; ++i)
        fleet.setFaults(fleet.addDevice(talixsim::makeDevice(i, talixsim::Preset::Login)), quick);
    QString error;
    if (!fleet.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        std::exit(1);
    }
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

} // namespace bench
