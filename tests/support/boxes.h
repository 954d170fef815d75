#pragma once

// Records every message box and answers it: from the queue `answers` first, then No to Yes/No,
// Cancel to Retry/Cancel, OK to the rest. Hand sink() to an exchange, or install it for the
// windows with support::answerBoxes (windows.h).

#include "ui/message.h"

#include <deque>
#include <vector>

namespace support {

struct Boxes {
    std::vector<brevion::Message> shown;
    std::deque<brevion::MsgAnswer> answers;

    brevion::MessageSink sink();
    void clear();
};

} // namespace support
