#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace talixctl {

// Exit status of the tool.
enum ExitCode {
    kSuccess = 0,
    kDeviceFailed = 1,       // no reply in time, "N", a bad settings reply, port trouble, an update stopped
    kUsageError = 2,         // nothing sent
    kBadInputFile = 3,       // nothing written to the device
    kRestartUnconfirmed = 4, // the update was programmed but the device did not come back with its version
    kChangesFound = 5,       // diff: writing the file would change the device
};

struct RunOptions {
    // Show the update's progress on err (when it is a terminal).
    bool progress = false;
    // The update's waits for the device (update, update-all) divided by this; tests and
    // benchmarks run them faster.
    int speedup = 1;
};

// Runs the tool with args (without the program name); results go to out, messages to err.
// Needs a QCoreApplication and processes its events while the device answers.
int RunTalixctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const RunOptions& options = {});

} // namespace talixctl
