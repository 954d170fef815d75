#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace brevion {

// The MAC address command "XM" (laid out in wireformat.h): 0050C25A3000 gives
// 58 4D 00 50 C2 5A 30 00 FD BF.

using MacBytes = std::array<quint8, 6>;

// The organisation prefix under which the maker's addresses are assigned, and its block.
inline const QString kMacPrefix = QStringLiteral("0050C2");
constexpr quint32 kMacBlockFirst = 0x5A3000;
constexpr quint32 kMacBlockLast = 0x5A3FFF;

QByteArray MacCommand(const MacBytes& address);

// The last six hexadecimal digits as the user entered them, checked.
enum class MacEntryProblem { None, Length, Range };
MacEntryProblem CheckMacEntry(const QString& entry);
// The message for a problem ("" for None).
QString MacEntryMessage(MacEntryProblem problem);

// The address kMacPrefix + entry; nothing unless the entry passes CheckMacEntry.
std::optional<MacBytes> MacAddressFromEntry(const QString& entry);

} // namespace brevion
