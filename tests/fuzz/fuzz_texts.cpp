// Texts typed by users or read from devices and files: dotted addresses, numbers, ports,
// version texts, update list lines, and the printable text of received bytes.

#include "fuzzcheck.h"

#include "common/nxfns.h"
#include "config/settingsrecord.h"
#include "update/updatelist.h"

#include <cmath>

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The same bytes as a window would hold them from a single-byte file and from typed text.
    for (const QString& text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const bool valid = IsValidIP(text);
        quint8 b[4] = {1, 1, 1, 1};
        IPToBytes(text, b[0], b[1], b[2], b[3]);
        if (!valid)
            FUZZ_CHECK(b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0);
        else { // only the plain form passes: it is the text of its own bytes
            QString own;
            AssignDottedText(own, b, 4);
            FUZZ_CHECK(own == text);
        }

        if (const std::optional<double> value = NumericValue(text)) {
            // Hundreds of digits read as infinity, which every range check refuses.
            FUZZ_CHECK(!std::isnan(*value) && (!std::isinf(*value) || (!valid && !ParsePort(text))));
            FUZZ_CHECK(RoundHalfEven(*value) == std::nearbyint(*value));
        }
        FUZZ_CHECK(!ParsePort(text) || NumericValue(text).has_value());

        HardwareVersionNumber(text);
        BootloaderVersionNumber(text);
        FUZZ_CHECK(!std::isnan(LeadingValue(text)));
        const std::optional<ListLineParts> parts = ParseUpdateListLine(text);
        FUZZ_CHECK(!parts || text.contains(parts->fileName));
    }

    // Any window onto the bytes gives printable 7-bit text, never more characters than bytes.
    const qint16 first = size > 0 ? static_cast<qint16>(data[0] % 40) : 0;
    const qint16 count = size > 1 ? static_cast<qint16>(data[1] % 40) : 0;
    const QString text = BytesToText(bytes, first, count);
    FUZZ_CHECK(text.size() <= count && (first + count <= bytes.size() || text.isEmpty()));
    for (const QChar c : text)
        FUZZ_CHECK(c.unicode() >= 32 && c.unicode() <= 126);
    return 0;
}
