#pragma once

#include <QString>

namespace brevion {

// The sentences of the discovery window.
QString InstructionText();
QString SearchingText();
QString NoneFoundText();
// "1 Bridge found", "3 Bridges found".
QString CountText(int count);
QString DuplicatesText();

} // namespace brevion
