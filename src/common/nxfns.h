#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace brevion {

// Printable text of bytes[first .. first+count-1]: each byte's low 7 bits, codes 32..126 kept,
// everything else dropped. Empty when the range runs past the end of the array.
QString BytesToText(const QByteArray& bytes, qint16 first, qint16 count);

// The codecs' forms of the same, written into text in place, so that decoding into a value that
// already has the room allocates nothing. Bounds are the caller's.
// BytesToText over count raw bytes, then leading and trailing spaces removed.
void AssignPrintableText(QString& text, const uchar* bytes, int count);
// The bytes as decimal numbers joined by dots: "1.0.17", "192.168.1.5" (parts 1 to 4).
void AssignDottedText(QString& text, const uchar* bytes, int parts);

// The one reading of address text in the program (arguments, files, fields, the socket): exactly
// four dot-separated parts of one to three decimal digits, each 0..255, and nothing else. No
// blanks, signs or leading zeros: "010" would be octal 8 to inet_aton, and "127.1", "0x7f.1" or
// "1.2.3.4." another address than the one the user meant. The address in host byte order.
std::optional<quint32> ParseIPv4(QStringView text);

// Whether text is an address in the sense of ParseIPv4.
bool IsValidIP(const QString& text);

// The four bytes of a valid address; 0.0.0.0 for invalid text.
void IPToBytes(const QString& text, quint8& b1, quint8& b2, quint8& b3, quint8& b4);

// The text without the blanks (spaces only) at its ends: what the device trims. A tab or a
// no-break space belongs to the value.
QString TrimBlanks(QStringView text);

// The 32-bit two's-complement form of value, most significant byte first.
void LongToBytes(qint32 value, quint8& b1, quint8& b2, quint8& b3, quint8& b4);

// The value of a numeric text (between optional blanks, an optional sign, digits and an optional
// decimal fraction), or nothing.
std::optional<double> NumericValue(const QString& text);

// Rounds half to even, as the device's conversions do.
double RoundHalfEven(double value);

// Asks the user for a folder. browser(title, start) shows the folder chooser (opened at start,
// only file-system folders) and returns the chosen path or the empty text; the start is passed
// only when it exists. The result is cut at its first NUL.
using FolderBrowser = std::function<QString(const QString& title, const QString& startFolder)>;
QString BrowseForFolder(const FolderBrowser& browser, const QString& title, const QString& startPath);

} // namespace brevion
