#pragma once

#include <functional>

namespace brevion {

// Processes events until done() holds. Blocks in Qt's dispatcher between events (no spinning,
// no sleeps) and re-checks after every dispatched event. Nests: a handler run from inside may
// itself wait. The caller must own a timer or socket that will deliver an event, or a window
// whose state the user will change; otherwise this waits for ever.
void WaitUntil(const std::function<bool()>& done);

// How WaitUntil spends the time between events. Blocking is the program's way. Polling
// processes events without ever blocking, in a loop, and keeps a core busy for the whole wait;
// it exists so that the benchmarks can measure the same waits both ways.
enum class WaitMode { Blocking, Polling };
void SetWaitMode(WaitMode mode);
WaitMode CurrentWaitMode();

} // namespace brevion
