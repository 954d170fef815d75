#pragma once

#include "sim/fleet.h"

namespace bench {

// count simulated Login bridges from 127.0.0.2 on, on a free port, that erase and restart in
// 20 ms so that a benchmark measures the conversations rather than the device's own pauses.
// A simulator that cannot start ends the benchmark. withFlash: each device holds its 1 MiB flash
// image from the start, as a real one does; the simulator makes it at a device's first erase
// otherwise, which only the first of two runs compared would pay.
class QuickFleet {
public:
    explicit QuickFleet(int count, bool withFlash = false);
    talixsim::Fleet fleet{talixsim::FleetOptions{0, 0, 1, 16}};
};

// "met" or "NOT met", as the goal lines say it.
const char* verdict(bool met);

} // namespace bench
