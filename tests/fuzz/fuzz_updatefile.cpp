// Update files: the whole-file check, the listing header, and the blocks the programming phase
// would send from a file that passes.

#include "fuzzcheck.h"

#include "update/blockpacker.h"
#include "config/settingsrecord.h"
#include "update/updatefile.h"

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const std::optional<UpdateHeader> listing = ReadListingHeader(bytes.left(kUpdateHeaderBytes));
    FUZZ_CHECK(listing.has_value() == (size >= 22 && data[0] == kUpdateMarker));

    const UpdateFileResult result = ParseUpdateFile(bytes);
    if (!result.file) {
        FUZZ_CHECK(!result.error.description.isEmpty());
        return 0;
    }
    const UpdateFile& file = *result.file;
    FUZZ_CHECK(listing && file.header == *listing && file.header.TotalBytes > 0);

    QByteArray recordData;
    for (const DataRecord& record : file.records) {
        FUZZ_CHECK(record.data.size() <= kMaxRecordBytes && record.Address >= 0 &&
                   record.Address + record.data.size() <= kDeviceFlashBytes);
        recordData += record.data;
    }
    FUZZ_CHECK(recordData.size() == file.header.TotalBytes);

    // Every byte goes out exactly once, in file order, in commands of at most 75 bytes; a block
    // holds consecutive addresses.
    QByteArray sent;
    for (const Block& block : PackBlocks(file)) {
        const QByteArray command = BlockCommand(block);
        FUZZ_CHECK(block.data.size() <= kMaxBlockBytes && command.size() == 11 + block.data.size() && command.size() <= 75);
        FUZZ_CHECK(command.right(2) == CommandChecksum(command.left(command.size() - 2)));
        sent += block.data;
    }
    FUZZ_CHECK(sent == recordData);
    return 0;
}
