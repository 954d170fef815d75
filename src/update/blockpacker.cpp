#include "update/blockpacker.h"

#include "config/settingsrecord.h"
#include "wire/wireformat.h"

#include <algorithm>

namespace brevion {

std::vector<Block> PackBlocks(const UpdateFile& file)
{
    std::vector<Block> blocks;
    qint64 done = 0;
    const auto& records = file.records;
    size_t i = 0;
    while (i < records.size() && done < file.header.TotalBytes) {
        Block block{records[i].Address, {}};
        const size_t first = i;
        while (i < records.size()) {
            const DataRecord& r = records[i];
            const qint64 next = static_cast<qint64>(block.address) + block.data.size();
            if (r.Address != next || block.data.size() + r.data.size() > kMaxBlockBytes)
                break;
            block.data += r.data;
            ++i;
        }
        if (i == first)
            break; // a record longer than a block: refused when the file is checked
        done += block.data.size();
        blocks.push_back(std::move(block));
    }
    return blocks;
}

QByteArray WithCommandChecksum(const QByteArray& body)
{
    return body + CommandChecksum(body);
}

namespace {

// "XP", the sub-code, room for the rest: every update command begins so.
QByteArray updateCommand(uchar code, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    uchar* p = wire::U(out.data());
    p[0] = wire::kX;
    p[1] = wire::kProgram;
    p[2] = code;
    return out;
}

QByteArray shortCommand(uchar code)
{
    QByteArray out = updateCommand(code, wire::kShortCommandBytes);
    uchar* p = wire::U(out.data());
    wire::Put16(p + 3, wire::CommandChecksum(p, 3));
    return out;
}

// The block command with room for `extra` bytes after the data.
QByteArray blockCommand(const Block& block, int extra)
{
    const qsizetype count = block.data.size();
    QByteArray out = updateCommand(wire::kBlock, wire::kBlockData + count + extra);
    uchar* p = wire::U(out.data());
    wire::Put32(p + wire::kBlockAddress, static_cast<quint32>(block.address));
    wire::Put16(p + wire::kBlockCount, static_cast<quint32>(count));
    std::copy_n(block.data.constData(), count, out.data() + wire::kBlockData);
    return out;
}

} // namespace

QByteArray EraseCommand() { return shortCommand(wire::kErase); }
QByteArray RestartCommand() { return shortCommand(wire::kRestart); }

QByteArray BlockBody(const Block& block) { return blockCommand(block, 0); }

QByteArray BlockCommand(const Block& block)
{
    QByteArray out = blockCommand(block, wire::kChecksumBytes);
    uchar* p = wire::U(out.data());
    const size_t body = size_t(out.size() - wire::kChecksumBytes);
    wire::Put16(p + body, wire::CommandChecksum(p, body));
    return out;
}

} // namespace brevion
