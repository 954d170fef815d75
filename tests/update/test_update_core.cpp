#include "blockpacker.h"
#include "updatefile.h"
#include "updatelist.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace brevion;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

void putLe(QByteArray& b, qint64 v, int size)
{
    for (int i = 0; i < size; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

struct Rec {
    qint32 address;
    QByteArray data;
};

// An update file built by hand: header, then the records as given.
QByteArray file(std::vector<Rec> recs, qint32 version = 0x010011, qint32 hwMin = 0x100, qint32 hwMax = 0x1FF,
                qint32 bootMin = 0, qint32 bootMax = 0xFFFFFF, qint32 total = -1)
{
    qint64 sum = 0;
    for (const auto& r : recs)
        sum += r.data.size();
    QByteArray b;
    b.append(char(100)).append(char(0));
    putLe(b, version, 4);
    putLe(b, hwMin, 4);
    putLe(b, hwMax, 4);
    putLe(b, bootMin, 4);
    putLe(b, bootMax, 4);
    putLe(b, total < 0 ? sum : total, 4);
    for (const auto& r : recs) {
        putLe(b, r.address, 4);
        putLe(b, r.data.size(), 2);
        b += r.data;
    }
    return b;
}

QByteArray filler(int n, char base = 1)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>(base + i));
    return b;
}

TEST(UpdateCommands, ExactBytes)
{
    EXPECT_EQ(EraseCommand(), hex("5850E7FE71"));
    EXPECT_EQ(RestartCommand(), hex("5850BDFE9B"));
    EXPECT_EQ(BlockCommand({0x1000, hex("01020304")}), hex("5850C30000100000040102030" "4FE77"));
}

TEST(PackBlocks, GathersConsecutiveRecordsUpTo64Bytes)
{
    struct Case {
        const char* name;
        std::vector<Rec> recs;
        std::vector<std::pair<qint32, int>> blocks; // address, byte count
    } cases[] = {
        {"overflow starts a new block", {{0x1000, filler(40)}, {0x1028, filler(40)}}, {{0x1000, 40}, {0x1028, 40}}},
        {"contiguous records join", {{0x1000, filler(16)}, {0x1010, filler(16)}}, {{0x1000, 32}}},
        {"gap starts a new block", {{0x1FC0, filler(48)}, {0x2000, filler(8)}}, {{0x1FC0, 48}, {0x2000, 8}}},
        {"exactly 64 fills a block", {{0, filler(32)}, {32, filler(32)}, {64, filler(1)}}, {{0, 64}, {64, 1}}},
        {"same address again is not a continuation", {{0x1000, filler(16)}, {0x1000, filler(16)}},
         {{0x1000, 16}, {0x1000, 16}}},
        {"empty record joins its neighbours", {{0x10, filler(4)}, {0x14, {}}, {0x14, filler(4)}}, {{0x10, 8}}},
        {"one 64-byte record per block", {{0, filler(64)}, {64, filler(64)}}, {{0, 64}, {64, 64}}},
        {"the last bytes of the flash", {{0xFFFC0, filler(64)}}, {{0xFFFC0, 64}}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseUpdateFile(file(c.recs));
        ASSERT_TRUE(parsed.file) << c.name << ": " << parsed.error.description.toStdString();
        const auto blocks = PackBlocks(*parsed.file);
        ASSERT_EQ(blocks.size(), c.blocks.size()) << c.name;
        QByteArray all, packed;
        for (const auto& r : c.recs)
            all += r.data;
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i].address, c.blocks[i].first) << c.name << " block " << i;
            EXPECT_EQ(blocks[i].data.size(), c.blocks[i].second) << c.name << " block " << i;
            packed += blocks[i].data;
        }
        EXPECT_EQ(packed, all) << c.name << ": data in file order, nothing lost";
    }
}

TEST(ParseUpdateFile, AcceptsAWellFormedFile)
{
    const auto r = ParseUpdateFile(file({{0x4000, filler(64)}, {0x4040, filler(3)}}, 0x01020B, 1, 2, 3, 4));
    ASSERT_TRUE(r.file);
    EXPECT_EQ(r.file->header, (UpdateHeader{0x01020B, 1, 2, 3, 4, 67}));
    ASSERT_EQ(r.file->records.size(), 2u);
    EXPECT_EQ(r.file->records[1], (DataRecord{0x4040, filler(3)}));
}

TEST(ParseUpdateFile, RefusesDamagedFilesByName)
{
    QByteArray lengthTooBig = file({{0, filler(65)}});
    struct Case {
        const char* name;
        QByteArray bytes;
        int number;
        const char* mentions;
    } cases[] = {
        {"empty", {}, kNotAnUpdateFile, "first byte"},
        {"wrong marker", QByteArray(1, 0x65) + file({{0, filler(4)}}).mid(1), kNotAnUpdateFile, "first byte"},
        {"record longer than a block", lengthTooBig, kDamagedUpdateFile, "length 65"},
        {"negative length", file({{0, filler(1)}}).replace(30, 2, hex("FFFF")), kDamagedUpdateFile, "length -1"},
        {"total says more", file({{0, filler(4)}}, 1, 0, 1, 0, 1, 5), kDamagedUpdateFile, "header says 5"},
        {"total says less", file({{0, filler(4)}}, 1, 0, 1, 0, 1, 3), kDamagedUpdateFile, "carry 4"},
        {"no data at all", file({}), kDamagedUpdateFile, "no data"},
        {"trailing byte", file({{0, filler(4)}}) + '\0', kDamagedUpdateFile, "cut off"},
        {"record at 0xFFFFFFC0", file({{qint32(0xFFFFFFC0), filler(4)}}), kDamagedUpdateFile, "0xffffffc0, outside"},
        {"record past the flash", file({{0xFFFFC, filler(8)}}), kDamagedUpdateFile, "outside the device's memory"},
    };
    for (const auto& c : cases) {
        const auto r = ParseUpdateFile(c.bytes);
        EXPECT_FALSE(r.file) << c.name;
        EXPECT_EQ(r.error.number, c.number) << c.name;
        EXPECT_TRUE(r.error.description.contains(QLatin1String(c.mentions))) << c.name << ": "
                                                                            << r.error.description.toStdString();
    }
}

TEST(VersionNumbers, FromVersionTexts)
{
    struct Case {
        const char* text;
        std::optional<qint32> hardware, bootloader;
    } cases[] = {
        {"1.2", 0x0102, std::nullopt},
        {"1.0.7", 0x0101, 0x010007},    // hardware reads "0.7" after its first ".": 256.7
        {"2.10.255", 0x020A, 0x020AFF},
        {"", std::nullopt, std::nullopt},
        {"12", std::nullopt, std::nullopt},
        {"v1.2.3", 0x0002, 0x000203},   // a piece without a leading number counts 0
        {"1a.2b.3c", 0x0102, 0x010203}, // longest leading number of each piece
        {"1.2.5x", 0x0102, 0x010205},
        {"1.2.5.5", 0x0102, 0x010206}, // "5.5" is read with its fraction and rounded half to even
        {"Erased", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HardwareVersionNumber(QString::fromLatin1(c.text)), c.hardware) << c.text;
        EXPECT_EQ(BootloaderVersionNumber(QString::fromLatin1(c.text)), c.bootloader) << c.text;
    }
}

TEST(FitsDevice, HardwareForAllBootloaderForFirmware)
{
    const UpdateHeader h{0x010011, 0x0102, 0x0104, 0x010005, 0x010007, 10};
    struct Case {
        const char* name;
        qint32 hw, boot;
        bool fits;
    } cases[] = {
        {"FIRM.bin", 0x0102, 0x010005, true},  {"FIRM.bin", 0x0104, 0x010007, true},
        {"FIRM.bin", 0x0101, 0x010006, false}, {"FIRM.bin", 0x0105, 0x010006, false},
        {"FIRM.bin", 0x0103, 0x010004, false}, {"FIRM.bin", 0x0103, 0x010008, false},
        {"newboot.bin", 0x0103, 0x090000, true}, {"newboot.bin", 0x0105, 0x010006, false},
        {"xBoOtx.BIN", 0x0103, 0, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitsDevice(h, QString::fromLatin1(c.name), c.hw, c.boot), c.fits) << c.name << " " << c.hw << " " << c.boot;
}

std::vector<UpdateFileInfo> infos(std::initializer_list<std::pair<const char*, qint32>> list)
{
    std::vector<UpdateFileInfo> v;
    for (const auto& [name, version] : list)
        v.push_back({QString::fromLatin1(name), version, 0, 0, 0, 0});
    return v;
}

std::vector<QString> names(const std::vector<UpdateFileInfo>& v)
{
    std::vector<QString> out;
    for (const auto& i : v)
        out.push_back(i.FileName);
    return out;
}

TEST(SortUpdateFiles, FirmwareFirstThenBootloaderEachNewestFirst)
{
    auto firmOnly = infos({{"a.bin", 0x01000B}, {"b.bin", 0x010011}, {"c.bin", 0x01000C}});
    SortUpdateFiles(firmOnly, 0);
    EXPECT_EQ(names(firmOnly), (std::vector<QString>{"b.bin", "c.bin", "a.bin"}));

    auto mixed = infos({{"boot1.bin", 0x010005}, {"f1.bin", 0x01000B}, {"BOOT2.bin", 0x010007},
                        {"f2.bin", 0x010011}, {"f3.bin", 0x01000C}});
    SortUpdateFiles(mixed, 2);
    EXPECT_EQ(names(mixed), (std::vector<QString>{"f2.bin", "f3.bin", "f1.bin", "BOOT2.bin", "boot1.bin"}));

    auto bootOnly = infos({{"boot1.bin", 0x010005}, {"boot2.bin", 0x010007}});
    SortUpdateFiles(bootOnly, 2);
    EXPECT_EQ(names(bootOnly), (std::vector<QString>{"boot2.bin", "boot1.bin"}));

    // Equal versions: the firmware files keep their order, the bootloader files come out as the
    // passes of adjacent swaps leave them (turned by n - 1 places).
    auto ties = infos({{"boot1", 7}, {"f1", 1}, {"boot2", 7}, {"f2", 1}, {"boot3", 7}, {"f3", 2}});
    SortUpdateFiles(ties, 3);
    EXPECT_EQ(names(ties), (std::vector<QString>{"f3", "f1", "f2", "boot3", "boot1", "boot2"}));
}

TEST(UpdateListLine, BuildsAndTakesApart)
{
    EXPECT_EQ(UpdateListLine({QStringLiteral(" FIRM.bin "), 0x010011, 0, 0, 0, 0}), QStringLiteral("Ver 1.0.17 (FIRM.bin)"));
    EXPECT_EQ(UpdateListLine({QStringLiteral("x.bin"), -1, 0, 0, 0, 0}), QStringLiteral("Ver 255.255.255 (x.bin)"));

    struct Case {
        const char* line;
        std::optional<ListLineParts> parts;
    } cases[] = {
        {"Ver 1.0.17 (FIRM.bin)", ListLineParts{"1.0.17", "FIRM.bin"}},
        {"Ver 2.1.3 (BOOT V2 (new).bin)", ListLineParts{"2.1.3", "BOOT V2 (new).bin"}},
        {"", std::nullopt},
        {"Ver 1.0.1 ()", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseUpdateListLine(QString::fromLatin1(c.line)), c.parts) << c.line;
}

TEST(JoinFolder, NoSecondSlashAfterTheRoot)
{
    EXPECT_EQ(JoinFolder("/", "a.bin"), "/a.bin");
    EXPECT_EQ(JoinFolder("/home/u/fw", "a.bin"), "/home/u/fw/a.bin");
}

TEST(ExamineUpdateFile, ReadsHeaderAndJudgesFit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("A.bin", file({{0, filler(4)}}, 0x010011, 0x100, 0x1FF, 0x010000, 0x0100FF));
    write("B.bin", QByteArray(1, 0x65) + file({{0, filler(4)}}).mid(1));
    write("short.bin", file({{0, filler(4)}}).left(12));
    write("oldboot.bin", file({{0, filler(4)}}, 0x010007, 0x100, 0x1FF, 0x090000, 0x090000));
    write("firm2.bin", file({{0, filler(4)}}, 0x010011, 0x100, 0x1FF, 0x090000, 0x090000));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("fifo"), dir.filePath("pipe.bin"))); // would block a reader

    using K = ExaminedFile::Kind;
    struct Case {
        const char* name;
        const char* hw;
        const char* boot;
        K kind;
    } cases[] = {
        {"A.bin", "1.2", "1.0.7", K::Accepted},   {"B.bin", "1.2", "1.0.7", K::Skipped},
        {"short.bin", "1.2", "1.0.7", K::Skipped}, {"oldboot.bin", "1.2", "1.0.7", K::Accepted},
        {"firm2.bin", "1.2", "1.0.7", K::Skipped}, {"A.bin", "2.0", "1.0.7", K::Skipped},
        {"A.bin", "", "1.0.7", K::Failed},         {"B.bin", "", "1.0.7", K::Skipped},
        {"A.bin", "1.2", "Erased", K::Failed},     {"oldboot.bin", "1.2", "", K::Accepted},
        {"missing.bin", "1.2", "1.0.7", K::Failed},  {"pipe.bin", "1.2", "1.0.7", K::Skipped},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        const ExaminedFile e = ExamineUpdateFile(dir.filePath(name), name, c.hw, c.boot);
        EXPECT_EQ(e.kind, c.kind) << c.name << " hw " << c.hw << " boot " << c.boot;
        if (e.kind == K::Failed) { // names the file, or the version text at fault
            EXPECT_TRUE(e.error.description.contains(name) || e.error.description.contains("version")) << c.name;
        }
    }
    const ExaminedFile a = ExamineUpdateFile(dir.filePath("A.bin"), "A.bin", "1.2", "1.0.7");
    EXPECT_EQ(a.info, (UpdateFileInfo{"A.bin", 0x010011, 0x100, 0x1FF, 0x010000, 0x0100FF}));
}

} // namespace
