// Settings replies of every layout: decoded, applied to settings, and the save command built
// back in the reply's layout.

#include "fuzzcheck.h"

#include "config/settingsrecord.h"

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<SettingsReply> decoded = DecodeSettingsReply(reply);
    FUZZ_CHECK(decoded.has_value() == (reply.size() >= kMinReplyLength));
    if (!decoded)
        return 0;
    FUZZ_CHECK(decoded->layout == ChooseLayout(decoded->versions));
    if (!decoded->checksumOk)
        return 0;

    // Accepted only whole, with the checksum where its layout puts it.
    const int length = ReplyLength(decoded->layout);
    FUZZ_CHECK(reply.size() >= length);
    const quint16 carried = static_cast<quint16>((static_cast<quint8>(reply[length - 2]) << 8) |
                                                 static_cast<quint8>(reply[length - 1]));
    FUZZ_CHECK(carried == ReplyChecksum(reply, length - 2));
    const bool basic = decoded->layout == SettingsLayout::Basic;
    FUZZ_CHECK(decoded->UDPPort.has_value() != basic && decoded->OutRules.has_value() != basic &&
               decoded->login.has_value() == (decoded->layout == SettingsLayout::Login));

    DeviceSettings settings;
    ApplyReply(settings, *decoded);
    FUZZ_CHECK(settings.Rules.OutCount >= 0 && settings.Rules.OutCount <= MaxOutRules && settings.Handshaking >= -1 &&
               settings.Handshaking < kHandshakingEntries);

    const QByteArray command = BuildSaveCommand(settings, decoded->layout);
    FUZZ_CHECK(command.size() == SaveCommandLength(decoded->layout) && command.startsWith("XS"));
    FUZZ_CHECK(command.right(2) == CommandChecksum(command.left(command.size() - 2)));
    return 0;
}
