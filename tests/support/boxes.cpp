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

int Boxes::count(const Message& m) const
{
    int n = 0;
    for (const Message& s : shown)
        n += s == m;
    return n;
}

QStringList Boxes::titles() const
{
    QStringList out;
    for (const Message& s : shown)
        out << s.title;
    return out;
}

void Boxes::clear()
{
    shown.clear();
    answers.clear();
}

} // namespace support
