// The MAC address entry: the check, the address built from it and the command carrying it.

#include "fuzzcheck.h"

#include "config/maccommand.h"
#include "config/settingsrecord.h"

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& entry : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const MacEntryProblem problem = CheckMacEntry(entry);
        const std::optional<MacBytes> address = MacAddressFromEntry(entry);
        FUZZ_CHECK((problem == MacEntryProblem::None) == MacEntryMessage(problem).isEmpty() &&
                   address.has_value() == (problem == MacEntryProblem::None));
        if (!address)
            continue;
        // Only addresses of the maker's block are ever sent.
        const quint32 tail = (quint32((*address)[3]) << 16) | (quint32((*address)[4]) << 8) | (*address)[5];
        FUZZ_CHECK(entry.size() == 6 && (*address)[0] == 0x00 && (*address)[1] == 0x50 && (*address)[2] == 0xC2 &&
                   tail >= kMacBlockFirst && tail <= kMacBlockLast);
        const QByteArray command = MacCommand(*address);
        FUZZ_CHECK(command.size() == 10 && command.startsWith("XM") && command.right(2) == CommandChecksum(command.left(8)));
    }
    return 0;
}
