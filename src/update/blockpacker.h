#pragma once

#include "updatefile.h"

#include <QByteArray>

#include <vector>

namespace brevion {

// Commands of the update conversation (UDP, big-endian, CommandChecksum last):
//
//   EraseCommand    58 50 E7 FE 71
//   RestartCommand  58 50 BD FE 9B
//   BlockCommand    offset  size   content
//                     0      1     0x58 "X"
//                     1      1     0x50 "P"
//                     2      1     0xC3
//                     3      4     device address of the first data byte
//                     7      2     count of data bytes, 0 to 64
//                     9    count   data of one or more contiguous records, in file order
//                   9+count  2     CommandChecksum over bytes 0 .. 8+count

constexpr int kMaxBlockBytes = 64;

// Data records of consecutive addresses gathered for one BlockCommand.
struct Block {
    qint32 address = 0;
    QByteArray data;
    bool operator==(const Block&) const = default;
};

// Gathers records in file order: a record joins the current block when it continues it without a
// gap and the block stays within 64 bytes; otherwise it starts the next block. Records are never
// split. Packing stops once the blocks carry TotalBytes.
std::vector<Block> PackBlocks(const UpdateFile& file);

QByteArray EraseCommand();
QByteArray RestartCommand();
// The BlockCommand without its checksum (what the programming phase hands to SendBlock).
QByteArray BlockBody(const Block& block);
QByteArray BlockCommand(const Block& block);

// body followed by its CommandChecksum.
QByteArray WithCommandChecksum(const QByteArray& body);

} // namespace brevion
