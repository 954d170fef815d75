#include "update/blockpacker.h"
#include "config/maccommand.h"
#include "update/updatefile.h"
#include "update/updatelist.h"

#include "hex.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace brevion;
using support::hex;

namespace {

void putLe(QByteArray& b, qint64 v, int size)
{
    for (int i = 0; i < size; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

struct Rec { qint32 address; int size; };

// An update file built by hand: the header, then records of the bytes 1, 2, 3, ...
QByteArray file(std::vector<Rec> recs, std::array<qint32, 5> header = {0x010011, 0x100, 0x1FF, 0, 0xFFFFFF},
                qint64 total = -1)
{
    QByteArray b("\x64\0", 2), data;
    for (const auto& r : recs) {
        putLe(data, r.address, 4);
        putLe(data, r.size, 2);
        data += QByteArray("\1\2\3\4\5\6\7\x08").repeated(9).left(r.size);
    }
    for (qint32 v : header)
        putLe(b, v, 4);
    putLe(b, total < 0 ? data.size() - 6 * qsizetype(recs.size()) : total, 4);
    return b + data;
}

// A MAC entry's refusals and their messages: tests/tools (talixctl set-mac) and tests/update.
TEST(UpdateCommands, WorkedExamplesAndTheMakersMacBlock)
{
    EXPECT_EQ(EraseCommand(), hex("5850E7FE71"));
    EXPECT_EQ(RestartCommand(), hex("5850BDFE9B"));
    EXPECT_EQ(BlockCommand({0x1000, hex("01020304")}), hex("5850C300001000000401020304FE77"));
    EXPECT_EQ(MacCommand(*MacAddressFromEntry("5a3000")), hex("584D0050C25A3000FDBF"));
    for (const char* entry : {"5A3000", "5A3FFF", "5a3abc"})
        EXPECT_EQ(CheckMacEntry(entry), MacEntryProblem::None) << entry;
    EXPECT_EQ(std::pair(CheckMacEntry(" 5A300"), CheckMacEntry("5A30000")), std::pair(MacEntryProblem::Range, MacEntryProblem::Length));
}

TEST(PackBlocks, GathersConsecutiveRecordsUpTo64Bytes)
{
    using Blocks = std::vector<std::pair<qint32, int>>; // address, byte count
    const std::pair<std::vector<Rec>, Blocks> cases[] = {
        {{{0x1000, 40}, {0x1028, 40}}, {{0x1000, 40}, {0x1028, 40}}}, // would overflow
        {{{0x1000, 16}, {0x1010, 16}}, {{0x1000, 32}}},
        {{{0x1FC0, 48}, {0x2000, 8}}, {{0x1FC0, 48}, {0x2000, 8}}}, // gap
        {{{0, 32}, {32, 32}, {64, 1}}, {{0, 64}, {64, 1}}},
        {{{0x10, 4}, {0x14, 0}, {0x10, 4}}, {{0x10, 4}, {0x10, 4}}}, // same address again
        {{{0xFFFC0, 64}}, {{0xFFFC0, 64}}}, // the last bytes of the flash
    };
    for (const auto& [recs, expected] : cases) {
        const auto parsed = ParseUpdateFile(file(recs));
        ASSERT_TRUE(parsed.file) << parsed.error.description.toStdString();
        Blocks blocks; // every byte once and in order: fuzz_updatefile
        for (const Block& b : PackBlocks(*parsed.file))
            blocks.push_back({b.address, int(b.data.size())});
        EXPECT_EQ(blocks, expected) << recs[0].address;
    }
}

TEST(ParseUpdateFile, ReadsTheHeaderAndRefusesDamagedFiles)
{
    const auto good = ParseUpdateFile(file({{0x4000, 64}, {0x4040, 3}}, {0x01020B, 1, 2, 3, 4}));
    ASSERT_TRUE(good.file);
    EXPECT_EQ(good.file->header, (UpdateHeader{0x01020B, 1, 2, 3, 4, 67}));
    EXPECT_EQ(good.file->records[1], (DataRecord{0x4040, hex("010203")}));
    const std::tuple<QByteArray, int, const char*> cases[] = {
        {{}, kNotAnUpdateFile, "first byte"}, {"\x65" + file({{0, 4}}).mid(1), kNotAnUpdateFile, "first byte"},
        {file({{0, 65}}), kDamagedUpdateFile, "length 65"}, {file({{0, 4}}) + '\0', kDamagedUpdateFile, "cut off"},
        {file({{0, 4}}, {1, 0, 1, 0, 1}, 5), kDamagedUpdateFile, "header says 5"},
        {file({{0, 4}}, {1, 0, 1, 0, 1}, 3), kDamagedUpdateFile, "carry 4"},
        {file({{0xFFFFC, 8}}), kDamagedUpdateFile, "outside the device's memory"},
    };
    for (const auto& [bytes, number, mentions] : cases) {
        const auto r = ParseUpdateFile(bytes);
        EXPECT_TRUE(!r.file && r.error.number == number && r.error.description.contains(mentions)) << mentions;
    }
}

TEST(UpdateList, VersionsFitSortAndLines)
{
    const std::tuple<const char*, std::optional<qint32>, std::optional<qint32>> versions[] = {
        {"1.2", 0x0102, {}}, {"1.0.7", 0x0101, 0x010007}, {"2.10.255", 0x020A, 0x020AFF}, // "1.0.7": 256.7
        {"12", {}, {}},      {"Erased", {}, {}},         {"1a.2b.3c", 0x0102, 0x010203},
        {"1.2.5.5", 0x0102, 0x010206}, // half to even
    };
    for (const auto& [text, hardware, bootloader] : versions)
        EXPECT_EQ(std::pair(HardwareVersionNumber(text), BootloaderVersionNumber(text)), std::pair(hardware, bootloader)) << text;

    const UpdateHeader h{0x010011, 0x0102, 0x0104, 0x010005, 0x010007, 10};
    const std::tuple<const char*, qint32, qint32, bool> fits[] = {
        {"FIRM.bin", 0x0102, 0x010005, true},    {"FIRM.bin", 0x0104, 0x010007, true}, {"FIRM.bin", 0x0101, 0x010006, false},
        {"FIRM.bin", 0x0105, 0x010006, false},   {"FIRM.bin", 0x0103, 0x010004, false}, {"FIRM.bin", 0x0103, 0x010008, false},
        {"newboot.bin", 0x0103, 0x090000, true}, {"xBoOtx.BIN", 0x0105, 0x010006, false},
    };
    for (const auto& [name, hw, boot, fit] : fits)
        EXPECT_EQ(FitsDevice(h, name, hw, boot), fit) << name << " " << hw << " " << boot;

    // Firmware first, then bootloader files, each newest first. Equal versions: the firmware
    // files keep their order, the bootloader files as passes of adjacent swaps leave them. Only
    // bits 0-23 are the version: f4 is 0.0.3, not newer than f0.
    std::vector<UpdateFileInfo> files;
    for (auto [name, version] : {std::pair{"boot1", 7}, {"f1", 1}, {"BOOT2", 7}, {"f2", 1}, {"boot3", 7},
                                 {"f3", 2}, {"boot0", 5}, {"f4", 0x7F000003}, {"f0", 0x010011}})
        files.push_back({name, version, 0, 0, 0, 0});
    SortUpdateFiles(files, 4);
    QStringList order;
    for (const auto& f : files)
        order << f.FileName;
    EXPECT_EQ(order.join(' '), "f0 f4 f3 f1 f2 boot1 BOOT2 boot3 boot0");

    EXPECT_EQ(UpdateListLine({"x.bin", -1, 0, 0, 0, 0}), "Ver 255.255.255 (x.bin)");
    EXPECT_EQ(VersionNumber(0x7F010013), 0x010013);
    EXPECT_EQ(ParseUpdateListLine("Ver 2.1.3 (BOOT V2 (new).bin)"), (ListLineParts{"2.1.3", "BOOT V2 (new).bin"}));
    EXPECT_EQ(ParseUpdateListLine("Ver 1.0.1 ()"), std::nullopt);
}

// Which file fits which versions: FitsDevice above; a foreign file, a hardware text without a
// dot and the version listed from the header: tests/gui/test_nxupdate.
TEST(ExamineUpdateFile, ReadsHeaderAndJudgesFit)
{
    QTemporaryDir dir;
    const std::pair<const char*, QByteArray> files[] = {
        {"A.bin", file({{0, 4}}, {0x010011, 0x100, 0x1FF, 0x010000, 0x0100FF})}, {"short.bin", file({{0, 4}}).left(12)}};
    for (const auto& [name, bytes] : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.bin")).constData(), 0600), 0); // would block a reader
    using K = ExaminedFile::Kind;
    const std::tuple<const char*, const char*, const char*, K> cases[] = {
        {"A.bin", "1.2", "1.0.7", K::Accepted}, {"short.bin", "1.2", "1.0.7", K::Skipped},
        {"A.bin", "1.2", "Erased", K::Failed},  {"pipe.bin", "1.2", "1.0.7", K::Skipped},
    };
    for (const auto& [name, hw, boot, kind] : cases)
        EXPECT_EQ(ExamineUpdateFile(dir.filePath(name), name, hw, boot).kind, kind) << name << " " << hw << " " << boot;
}

} // namespace
