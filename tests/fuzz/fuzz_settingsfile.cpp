// Settings files: a file that loads must save back to a file that loads to the same values;
// a file that does not load names its line and reason.

#include "fuzzcheck.h"

#include "settingsfile.h"

using namespace brevion;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SettingsFileValues previous;
    const SettingsFileDecode decoded = DecodeSettingsFile(bytes, previous);
    if (!decoded.values) {
        FUZZ_CHECK(decoded.line >= 1 && decoded.line <= kSettingsFileLines + 1);
        FUZZ_CHECK(!decoded.reason.isEmpty());
        return 0;
    }
    const SettingsFileValues& values = *decoded.values;
    FUZZ_CHECK(values.Rules.OutCount >= 0 && values.Rules.OutCount <= 12);
    FUZZ_CHECK(values.BaudRate >= -1 && values.BaudRate < kBaudRateCount);
    FUZZ_CHECK(values.Handshaking >= -1 && values.Handshaking < kHandshakingCount);

    const QByteArray saved = EncodeSettingsFile(values);
    const SettingsFileDecode again = DecodeSettingsFile(saved, previous);
    if (!again.values) {
        std::fprintf(stderr, "saved file does not load: line %d: %s\n", again.line, qPrintable(again.reason));
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(*again.values == values);
    return 0;
}
