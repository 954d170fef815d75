#pragma once

// Bytes written as hex digits, spaces allowed between them: hex("58 42 FF 66").

#include <QByteArray>

namespace support {

QByteArray hex(const char* text);

} // namespace support
