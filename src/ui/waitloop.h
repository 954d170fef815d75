#pragma once

#include <functional>

namespace brevion {

// Processes events until done() holds. Blocks in Qt's dispatcher between events (no spinning,
// no sleeps) and re-checks after every dispatched event. Nests: a handler run from inside may
// itself wait. The caller must own a timer or socket that will deliver an event, or a window
// whose state the user will change; otherwise this waits for ever.
void WaitUntil(const std::function<bool()>& done);

} // namespace brevion
