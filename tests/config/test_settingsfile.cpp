#include "settingsfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace brevion;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

SettingsFileValues Sample()
{
    SettingsFileValues v;
    v.DHCP = false;
    v.IPAddr = QStringLiteral("192.168.1.50");
    v.SubnetMask = QStringLiteral("255.255.255.0");
    v.Gateway = QStringLiteral("192.168.1.1");
    v.NetName = QStringLiteral("Pump house");
    v.IPPort = QStringLiteral("23");
    v.BaudRate = 4;
    v.Handshaking = 1;
    v.UDPPort = QStringLiteral("40000");
    for (int n = 1; n <= MaxOutRules; ++n)
        v.Rules.OutRules[n] = EmptyRule();
    v.Rules.OutRules[1] = {QStringLiteral("10.0.0.5"), 40000, OUT_TCP | OUT_LOGIN, 30};
    v.Sentences[1] = QStringLiteral("Connect to 10.0.0.5, Port 40000, using TCP ...");
    v.Rules.OutRules[2] = {QStringLiteral("10.0.0.6"), 5000, 0, 0};
    v.Sentences[2] = QStringLiteral("Send to 10.0.0.6, Port 5000, using UDP ...");
    v.Rules.OutCount = 2;
    v.UserPrompt = QStringLiteral("login:");
    v.PassPrompt = QStringLiteral("Password:");
    v.Username = QStringLiteral("operator");
    v.Password = QStringLiteral("s3cret");
    return v;
}

QStringList Lines(const QByteArray& bytes)
{
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray Join(const QStringList& lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

} // namespace

TEST(SettingsFile, WritesSeventyFourLinesInTheWriteConvention)
{
    const QByteArray bytes = EncodeSettingsFile(Sample());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 74);
    EXPECT_EQ(bytes.count('\n'), 74); // no bare line feeds
    const QStringList l = Lines(bytes);
    ASSERT_EQ(l.size(), 74);
    EXPECT_EQ(l[0], "#FALSE#");
    EXPECT_EQ(l[1], "\"192.168.1.50\"");
    EXPECT_EQ(l[4], "\"Pump house\"");
    EXPECT_EQ(l[6], "4");
    EXPECT_EQ(l[7], "1");
    EXPECT_EQ(l[8], "\"40000\"");
    EXPECT_EQ(l[9], "2");
    // Slot 1 at lines 11..15, slot 3 (empty) at 21..25, slot 12 at 66..70.
    EXPECT_EQ(l.mid(10, 5), (QStringList{"\"Connect to 10.0.0.5, Port 40000, using TCP ...\"",
                                         "\"10.0.0.5\"", "40000", "5", "30"}));
    EXPECT_EQ(l.mid(20, 5), (QStringList{"\"\"", "\"\"", "0", "3", "0"}));
    EXPECT_EQ(l.mid(65, 5), (QStringList{"\"\"", "\"\"", "0", "3", "0"}));
    EXPECT_EQ(l.mid(70),
              (QStringList{"\"login:\"", "\"Password:\"", "\"operator\"", "\"s3cret\""}));

    SettingsFileValues v = Sample();
    v.DHCP = true;
    v.BaudRate = -1;
    v.Rules.OutRules[1].IdleSecs = -7;
    const QStringList m = Lines(EncodeSettingsFile(v));
    EXPECT_EQ(m[0], "#TRUE#");
    EXPECT_EQ(m[6], "-1");
    EXPECT_EQ(m[14], "-7");
}

TEST(SettingsFile, RoundTripsEveryValue)
{
    const SettingsFileValues v = Sample();
    const SettingsFileDecode d = DecodeSettingsFile(EncodeSettingsFile(v), SettingsFileValues{});
    ASSERT_TRUE(d.values) << d.reason.toStdString();
    EXPECT_EQ(*d.values, v);
    EXPECT_EQ(d.values->UDPPort, "40000");
    EXPECT_EQ(d.values->Rules.OutRules[1].Port, 40000);
}

// Values come back whole, only blanks trimmed (as the device trims): whatever their fields cannot
// hold is refused when sent, never cut into another value or stripped of a tab here.
TEST(SettingsFile, TakesTextsWholeTrimmingOnlyBlanks)
{
    SettingsFileValues v = Sample();
    v.NetName = QStringLiteral("  Twenty characters!");
    v.IPAddr = QStringLiteral("192.168.100.2001");
    v.IPPort = QStringLiteral("100000");
    v.UDPPort = QStringLiteral("  abc ");
    v.Rules.OutRules[2].IPAddr = QStringLiteral(" 10.0.0.6 ");
    v.Password = QString(70, QLatin1Char('p')) + QLatin1Char('\t');
    v.Username = QStringLiteral("\u00a0me");
    QStringList lines = Lines(EncodeSettingsFile(v));
    lines[72] = QStringLiteral(" op\t");        // an unquoted text keeps its tab too

    const auto d = DecodeSettingsFile(Join(lines), SettingsFileValues{});
    ASSERT_TRUE(d.values);
    EXPECT_EQ(d.values->NetName, "Twenty characters!");
    EXPECT_EQ(d.values->IPAddr, "192.168.100.2001");
    EXPECT_EQ(d.values->IPPort, "100000");
    EXPECT_EQ(d.values->UDPPort, "abc");
    EXPECT_EQ(d.values->Rules.OutRules[2].IPAddr, "10.0.0.6");
    EXPECT_EQ(d.values->Password, v.Password);
    EXPECT_EQ(d.values->Username, "op\t");
    EXPECT_EQ(DecodeSettingsFile(EncodeSettingsFile(v), {}).values->Username, v.Username);
}

TEST(SettingsFile, DoubledQuotesCarryAQuoteCharacter)
{
    SettingsFileValues v = Sample();
    v.Password = QStringLiteral("a\"b\"\"c");
    const QByteArray bytes = EncodeSettingsFile(v);
    EXPECT_EQ(Lines(bytes)[73], "\"a\"\"b\"\"\"\"c\"");
    const auto d = DecodeSettingsFile(bytes, {});
    ASSERT_TRUE(d.values);
    EXPECT_EQ(d.values->Password, v.Password);

    // A lone quote inside, as files of older copies hold, is kept as written.
    QStringList lines = Lines(bytes);
    lines[73] = QStringLiteral("\"ab\"cd\"");
    const auto old = DecodeSettingsFile(Join(lines), {});
    ASSERT_TRUE(old.values);
    EXPECT_EQ(old.values->Password, "ab\"cd");
}

TEST(SettingsFile, HandWrittenFileLoadsExactlyItsValues)
{
    QStringList lines{"#TRUE#",
                      "\"10.1.2.3\"",
                      "\"255.0.0.0\"",
                      "\"10.0.0.1\"",
                      "\"Lab bridge\"",
                      "\"2101\"",
                      "8",
                      "2",
                      "\"7000\"",
                      "5"};
    for (int n = 1; n <= 12; ++n)
        lines << QStringLiteral("\"rule %1\"").arg(n) << QStringLiteral("\"10.9.9.%1\"").arg(n)
              << QString::number(1000 + n) << QString::number(n % 8) << QString::number(n * 10);
    lines << "\"user:\""
          << "\"pass:\""
          << "\"me\""
          << "\"pw\"";
    ASSERT_EQ(lines.size(), 74);

    SettingsFileValues previous = Sample();
    const auto d = DecodeSettingsFile(Join(lines), previous);
    ASSERT_TRUE(d.values) << d.reason.toStdString();
    const SettingsFileValues& v = *d.values;
    EXPECT_TRUE(v.DHCP);
    EXPECT_EQ(v.IPAddr, "10.1.2.3");
    EXPECT_EQ(v.SubnetMask, "255.0.0.0");
    EXPECT_EQ(v.Gateway, "10.0.0.1");
    EXPECT_EQ(v.NetName, "Lab bridge");
    EXPECT_EQ(v.IPPort, "2101");
    EXPECT_EQ(v.BaudRate, 8);
    EXPECT_EQ(v.Handshaking, 2);
    EXPECT_EQ(v.UDPPort, "7000");
    EXPECT_EQ(v.Rules.OutCount, 5); // as written, although twelve slots are in use
    for (int n = 1; n <= 12; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(v.Sentences[n], QStringLiteral("rule %1").arg(n));
        EXPECT_EQ(v.Rules.OutRules[n], (OutCnctRule{QStringLiteral("10.9.9.%1").arg(n), 1000 + n,
                                                    quint8(n % 8), n * 10}));
    }
    EXPECT_EQ(v.UserPrompt, "user:");
    EXPECT_EQ(v.PassPrompt, "pass:");
    EXPECT_EQ(v.Username, "me");
    EXPECT_EQ(v.Password, "pw");

    // Bare line feeds and a missing final line break read the same.
    QByteArray lf = lines.join(QStringLiteral("\n")).toLatin1();
    const auto d2 = DecodeSettingsFile(lf, previous);
    ASSERT_TRUE(d2.values);
    EXPECT_EQ(*d2.values, v);
}

TEST(SettingsFile, FlagsOutsideAByteKeepTheSlotsPreviousFlags)
{
    SettingsFileValues previous = Sample();
    previous.Rules.OutRules[2].Flags = 6;
    QStringList lines = Lines(EncodeSettingsFile(Sample()));
    lines[10 + 5 + 3] = QStringLiteral("256"); // slot 2 Flags
    lines[10 + 3] = QStringLiteral("255");     // slot 1 Flags
    lines[10 + 10 + 3] = QStringLiteral("-1"); // slot 3 Flags
    const auto d = DecodeSettingsFile(Join(lines), previous);
    ASSERT_TRUE(d.values);
    EXPECT_EQ(d.values->Rules.OutRules[1].Flags, 255);
    EXPECT_EQ(d.values->Rules.OutRules[2].Flags, 6);
    EXPECT_EQ(d.values->Rules.OutRules[3].Flags, previous.Rules.OutRules[3].Flags);
    EXPECT_EQ(d.values->Rules.OutRules[2].Port, 5000); // the rest of the slot is read
}

TEST(SettingsFile, RejectsMalformedFilesWhole)
{
    const QStringList good = Lines(EncodeSettingsFile(Sample()));
    struct Case {
        const char* name;
        int line; // 1-based line to replace, 0 = cut the file to `keep` lines
        QString value;
        int keep;
    };
    const Case cases[] = {
        {"empty file", 0, {}, 0},
        {"short file", 0, {}, 73},
        {"text where DHCP belongs", 1, "\"yes\"", 0},
        {"number where DHCP belongs", 1, "1", 0},
        {"text where the baud index belongs", 7, "\"4\"", 0},
        {"baud index past the list", 7, "9", 0},
        {"handshaking index past the list", 8, "3", 0},
        {"fraction where a number belongs", 8, "1.5", 0},
        {"OutCount above twelve", 10, "13", 0},
        {"text where a port belongs", 13, "\"abc\"", 0},
        {"port beyond 32 bits", 13, "4294967296", 0},
        {"empty line where Flags belongs", 14, "", 0},
        {"text where IdleSecs belongs", 70, "\"0\"", 0},
        {"unclosed quote", 74, "\"pw", 0},
        {"lone quote", 71, "\"", 0},
    };
    SettingsFileValues previous = Sample();
    previous.NetName = QStringLiteral("unchanged");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList lines = good;
        if (c.line == 0)
            lines = lines.mid(0, c.keep);
        else
            lines[c.line - 1] = c.value;
        const QByteArray bytes = lines.isEmpty() ? QByteArray() : Join(lines);
        const auto d = DecodeSettingsFile(bytes, previous);
        EXPECT_FALSE(d.values);
        EXPECT_EQ(d.line, c.line == 0 ? c.keep + 1 : c.line);
        EXPECT_FALSE(d.reason.isEmpty());
    }
}

// Reading and writing the file itself are ReadRegularFile's and ReplaceRegularFile's; here only
// that the settings file goes through them (a save and load: tests of the window and talixctl).
TEST(SettingsFileOnDisk, LoadsAndSavesOnlyRegularFiles)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.TALIX");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ::alarm(10); // a load that waits for a writer ends the run instead of hanging it
    const auto f = LoadSettingsFile(fifo, {});
    ::alarm(0);
    EXPECT_FALSE(f.values);
    EXPECT_EQ(f.reason, "it is not a regular file");
    EXPECT_TRUE(SaveSettingsFile(fifo, Sample()));
}
