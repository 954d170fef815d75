#pragma once

// Bytes written as hex digits, spaces allowed between them: hex("58 42 FF 66").

#include <QByteArray>

namespace support {

inline QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

} // namespace support
