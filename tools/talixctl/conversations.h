#pragma once

#include "engine/devicelink.h"
#include "engine/discoverconversation.h"
#include "engine/outcome.h"
#include "engine/updateconversation.h"

#include <QString>

#include <functional>

namespace talixctl {

// What every talixctl command does with the device engine: run a conversation to its end, and
// turn its outcome into an exit status and words on stderr.

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

// Why a search (discover, the fleet commands) could not use the link's socket.
QString SearchTrouble(const brevion::Outcome& opened, quint16 localPort);

// Nothing when every request of a search left; otherwise how many could not, and why the first.
QString UnsentNote(const brevion::DiscoverConversation& search);

// A command to one device that was not accepted, as the configuration window tells it: a title,
// ": ", then its lines ("Communications Error: Timed out waiting for ...\nPlease try ...").
QString CommandTrouble(const brevion::Outcome& outcome, const brevion::DeviceLink& link, const QString& ip);

// An update that ended without the device coming back, as the update window tells it, by the
// phase where it ended. (A device that came back with another version is the caller's to tell.)
QString UpdateTrouble(const brevion::UpdateConversation& update, const brevion::DeviceLink& link, const QString& ip);

} // namespace talixctl
