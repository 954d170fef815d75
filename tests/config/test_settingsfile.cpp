#include "config/settingsfile.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace brevion;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

SettingsFileValues Sample()
{
    SettingsFileValues v;
    v = {false, "192.168.1.50", "255.255.255.0", "192.168.1.1", "Pump house", "23", 4, 1, "40000"};
    for (int n = 1; n <= MaxOutRules; ++n)
        v.Rules.OutRules[n] = EmptyRule();
    v.Rules.OutRules[1] = {"10.0.0.5", 40000, OUT_TCP | OUT_LOGIN, 30};
    v.Rules.OutRules[12] = {"10.0.0.6", 5000, 0, -7};
    v.Sentences[1] = "Connect to 10.0.0.5 ...", v.Rules.OutCount = 2;
    v.UserPrompt = "login:", v.PassPrompt = "Password:";
    v.Username = QString::fromUtf8("\u00a0op"), v.Password = "a\"b\"\"c";
    return v;
}

QStringList Lines(const SettingsFileValues& v) { return QString::fromLatin1(EncodeSettingsFile(v)).split("\r\n"); }
QByteArray Join(const QStringList& lines) { return lines.join("\r\n").toLatin1(); }

} // namespace

TEST(SettingsFile, SeventyFourLinesInTheWriteConventionAndBack)
{
    QStringList expected{"#FALSE#", "\"192.168.1.50\"", "\"255.255.255.0\"", "\"192.168.1.1\"", "\"Pump house\"",
                         "\"23\"", "4", "1", "\"40000\"", "2", "\"Connect to 10.0.0.5 ...\"", "\"10.0.0.5\"",
                         "40000", "5", "30"};
    for (int n = 2; n <= 11; ++n)
        expected << "\"\"" << "\"\"" << "0" << "3" << "0";
    expected << "\"\"" << "\"10.0.0.6\"" << "5000" << "0" << "-7" << "\"login:\"" << "\"Password:\""
             << QString::fromUtf8("\"\u00a0op\"") << "\"a\"\"b\"\"\"\"c\"" << "";
    EXPECT_EQ(Lines(Sample()), expected);
    const auto d = DecodeSettingsFile(EncodeSettingsFile(Sample()), {});
    EXPECT_EQ(d.values, Sample()) << d.reason.toStdString();
    // Bare line feeds and no final line break read the same; OutCount is taken as written.
    expected[9] = "5";
    SettingsFileValues five = Sample();
    five.Rules.OutCount = 5;
    EXPECT_EQ(DecodeSettingsFile(expected.join("\n").trimmed().toLatin1(), {}).values, five);
}

// Texts come back whole, only blanks trimmed: what a field cannot hold is refused when sent.
TEST(SettingsFile, TextsWholeFlagsOutsideAByteKeepThePrevious)
{
    QStringList lines = Lines(Sample());
    lines[4] = "  \"  Twenty characters!\"";
    lines[72] = " op\t";         // unquoted: as it stands, only blanks trimmed
    lines[73] = "\"ab\"cd\"";     // a lone quote inside, as older files hold
    lines[10 + 3] = "255";        // slot 1 Flags
    lines[10 + 5 + 3] = "256";    // slot 2 Flags
    lines[10 + 10 + 3] = "-1";    // slot 3 Flags
    SettingsFileValues previous = Sample();
    previous.Rules.OutRules[2].Flags = 6, previous.Rules.OutRules[3].Flags = 1;
    const auto d = DecodeSettingsFile(Join(lines), previous);
    ASSERT_TRUE(d.values) << d.reason.toStdString();
    EXPECT_EQ(d.values->NetName, "Twenty characters!");
    EXPECT_EQ(d.values->Username + "|" + d.values->Password, "op\t|ab\"cd");
    const auto& r = d.values->Rules.OutRules;
    EXPECT_EQ(std::tuple(r[1].Flags, r[2].Flags, r[3].Flags), std::tuple(255, 6, 1));
}

// Refused files name their line (what a file that cannot be read says: tests/common).
TEST(SettingsFile, MalformedFilesLoadNothing)
{
    const QStringList good = Lines(Sample());
    // The 1-based line to replace with `value`; 0: the file cut to `keep` lines.
    const struct { int line; QString value; int keep; } cases[] = {
        {0, {}, 0},          {0, {}, 73},         {1, "\"yes\"", 0}, {1, "1", 0},      {7, "\"4\"", 0},
        {7, "9", 0},         {8, "3", 0},         {8, "-2", 0},      {8, "1.5", 0},     {10, "13", 0},
        {13, "4294967296", 0}, {14, "", 0},       {70, "\"0\"", 0},  {74, "\"pw", 0},   {71, "\"", 0},
    };
    for (const auto& c : cases) {
        QStringList lines = c.line ? good : good.mid(0, c.keep);
        if (c.line)
            lines[c.line - 1] = c.value;
        const auto d = DecodeSettingsFile(lines.isEmpty() ? QByteArray() : Join(lines) + "\r\n", Sample());
        EXPECT_TRUE(!d.values && d.line == (c.line ? c.line : c.keep + 1) && !d.reason.isEmpty()) << c.line << " " << c.keep;
    }
}
