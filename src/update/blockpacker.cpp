#include "blockpacker.h"

#include "settingsrecord.h"

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

QByteArray EraseCommand() { return WithCommandChecksum(QByteArray("\x58\x50\xE7", 3)); }
QByteArray RestartCommand() { return WithCommandChecksum(QByteArray("\x58\x50\xBD", 3)); }

QByteArray BlockBody(const Block& block)
{
    QByteArray b("\x58\x50\xC3", 3);
    const auto a = static_cast<quint32>(block.address);
    b.append(static_cast<char>(a >> 24));
    b.append(static_cast<char>(a >> 16));
    b.append(static_cast<char>(a >> 8));
    b.append(static_cast<char>(a));
    const auto count = static_cast<quint16>(block.data.size());
    b.append(static_cast<char>(count >> 8));
    b.append(static_cast<char>(count));
    b += block.data;
    return b;
}

QByteArray BlockCommand(const Block& block) { return WithCommandChecksum(BlockBody(block)); }

} // namespace brevion
