// Settings files: a file that loads must save back to a file that loads to the same values;
// a file that does not load names its line and reason.

#include "fuzzcheck.h"

#include "config/settingsfile.h"

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SettingsFileValues previous;
    const SettingsFileDecode decoded = DecodeSettingsFile(bytes, previous);
    if (!decoded.values) {
        FUZZ_CHECK(decoded.line >= 1 && decoded.line <= kSettingsFileLines + 1 && !decoded.reason.isEmpty());
        return 0;
    }
    const SettingsFileValues& values = *decoded.values;
    FUZZ_CHECK(values.Rules.OutCount >= 0 && values.Rules.OutCount <= 12 && values.BaudRate >= -1 &&
               values.BaudRate < kBaudRateCount && values.Handshaking >= -1 && values.Handshaking < kHandshakingCount);

    const QByteArray saved = EncodeSettingsFile(values);
    const SettingsFileDecode again = DecodeSettingsFile(saved, previous);
    FUZZ_CHECK(again.values && *again.values == values); // a saved file loads to the same values
    return 0;
}
