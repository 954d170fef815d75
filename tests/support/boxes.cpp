#include "boxes.h"

using namespace brevion;

namespace support {

MessageSink Boxes::sink()
{
    return [this](const Message& m) {
        shown.push_back(m);
        if (!answers.empty()) {
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        if (m.buttons == MsgButtons::YesNo)
            return MsgAnswer::No;
        return m.buttons == MsgButtons::RetryCancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
    };
}

void Boxes::clear()
{
    shown.clear();
    answers.clear();
}

} // namespace support
