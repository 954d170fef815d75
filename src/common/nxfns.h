#pragma once

#include "outcnctrule.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace brevion {

// Printable text of bytes[first .. first+count-1]: each byte's low 7 bits, codes 32..126 kept,
// everything else dropped. Empty when the range runs past the end of the array.
QString BytesToText(const QByteArray& bytes, qint16 first, qint16 count);

// Dotted IPv4 text: four numeric parts of value 0..255 split at the first three dots. A part is
// numeric when it is, between optional blanks, an optional sign, digits and an optional decimal
// fraction. The fourth part runs to the end, so 1.2.3.4.5 passes (4.5) and -0.1.2.3 passes.
bool IsValidIP(const QString& text);

// The four parts of a valid address rounded half to even; 0.0.0.0 for invalid text.
void IPToBytes(const QString& text, quint8& b1, quint8& b2, quint8& b3, quint8& b4);

// The 32-bit two's-complement form of value, most significant byte first.
void LongToBytes(qint32 value, quint8& b1, quint8& b2, quint8& b3, quint8& b4);

// The English sentence for a stored rule; empty for a slot not in use.
QString RuleDescription(const OutCnctRule& rule);

// The value of a numeric text in the sense of IsValidIP, or nothing.
std::optional<double> NumericValue(const QString& text);

// Rounds half to even, as the device's conversions do.
double RoundHalfEven(double value);

// Asks the user for a folder. browser(title, start) shows the folder chooser (opened at start,
// only file-system folders) and returns the chosen path or the empty text; the start is passed
// only when it exists. The result is cut at its first NUL.
using FolderBrowser = std::function<QString(const QString& title, const QString& startFolder)>;
QString BrowseForFolder(const FolderBrowser& browser, const QString& title, const QString& startPath);

} // namespace brevion
