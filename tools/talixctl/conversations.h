#pragma once

#include "engine/discoverconversation.h"
#include "engine/outcome.h"
#include "engine/updateconversation.h"

#include <QString>

#include <functional>

namespace talixctl {

// What every talixctl command does with the device engine: run a conversation to its end, and
// turn its outcome into an exit status (the words come from engine/outcomewords.h).

// Starts the conversation and processes events until it has finished; returns its outcome.
brevion::Outcome RunToEnd(brevion::Conversation& conversation);
// Starts the conversation; then(outcome) follows once it has finished, and the conversation is
// deleted afterwards.
void Talk(brevion::Conversation* conversation, std::function<void(const brevion::Outcome&)> then);

// The device's waits of an update divided by speedup (tests and benchmarks run faster).
brevion::UpdateConversation::Timings UpdateTimings(int speedup);

// The exit status of a finished conversation: 0 accepted, 4 an update whose device came back with
// another version, 1 any other failure.
int ExitCodeOf(const brevion::Outcome& outcome);

// Nothing when every request of a search left; otherwise how many could not, and why the first.
QString UnsentNote(const brevion::DiscoverConversation& search);

} // namespace talixctl
