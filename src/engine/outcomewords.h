#pragma once

#include "engine/outcome.h"
#include "engine/updateconversation.h"
#include "ui/message.h"

#include <QString>

#include <optional>

namespace brevion {

// Every outcome's words for a user, in one table. The windows show a Message as a box (its lines
// joined by CR LF); talixctl prints it as one text (PlainText).

// One sentence for the outcome, with its detail (logs, the fleet commands' tables).
QString OutcomeText(const Outcome& outcome);

// A command to the device at `device` (a read, save, restart or MAC programming) that was not
// accepted. Outcomes no box is made for (accepted, another reply, cancelled) come as their sentence
// alone, without a title.
Message CommandWords(const Outcome& outcome, const QString& device);

// Another program updates or configures the device: refusal is the lock's words.
Message InUseWords(const QString& refusal);

// A save the device accepted: what it means, and (the window asks it) whether to restart now.
Message SavedWords();
// A restart the device accepted.
Message RebootingWords();

// An update that ended without the device coming back, by the phase where it ended; none for a
// cancelled one. (A device that came back with another version: VersionNotTakenWords.)
std::optional<Message> UpdateWords(const Outcome& outcome, UpdateConversation::Phase phase);

// After a confirmed restart the device reports another version of the part that was updated than
// the update file carries.
Message VersionNotTakenWords(bool bootloader, qint32 fileVersion, const DeviceVersions& reported);

// Why a search could not use the link's socket.
QString SearchWords(const Outcome& outcome);

// A box as one text for a terminal: "title: line\nline" (the sentence alone when untitled).
QString PlainText(const Message& message);

} // namespace brevion
