#pragma once

#include "update/updatefile.h"
#include "wire/wireformat.h"

#include <QByteArray>

#include <vector>

namespace brevion {

// Commands of the update conversation, "XP" with a sub-code (laid out in wireformat.h):
// EraseCommand 58 50 E7 FE 71, RestartCommand 58 50 BD FE 9B, and BlockCommand, which carries up
// to 64 data bytes of one or more contiguous records to a device address.

constexpr int kMaxBlockBytes = wire::kMaxBlockBytes;

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
