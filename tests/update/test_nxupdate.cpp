#include "nxupdate.h"

#include "deviceversions.h"
#include "dialogs.h"
#include "forms.h"
#include "msgbox.h"
#include "settingsstore.h"
#include "updatetestsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;
using namespace updatetest;

namespace {

constexpr quint16 kLocalPort = 24502;

QByteArray withMarker(QByteArray bytes, char marker)
{
    bytes[0] = marker;
    return bytes;
}

QStringList lines(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

talixsim::UpdateFileRecipe recipe(talixsim::Region region, talixsim::Version3 version, quint32 bootMin = 0,
                              quint32 bootMax = 0xFFFFFF)
{
    talixsim::UpdateFileRecipe s;
    s.region = region;
    s.version = version;
    s.size = 640;
    s.hwMin = 0x0102;
    s.hwMax = 0x0102;
    s.bootMin = bootMin;
    s.bootMax = bootMax;
    return s;
}

} // namespace

class TestNxUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings;
    QList<Message> m_messages;
    QList<FolderRequest> m_folderRequests;
    MsgAnswer m_fileErrorAnswer = MsgAnswer::Cancel;

    // A folder holding the given files.
    QString folderWith(QTemporaryDir& dir, const QList<std::pair<QString, QByteArray>>& files)
    {
        for (const auto& [name, bytes] : files) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
        }
        return dir.path();
    }

    NxUpdate& windowFor(const QString& ip, const QString& hw, const QString& boot, const QString& firm)
    {
        NxUpdate& w = Forms::Get<NxUpdate>();
        w.SetDeviceIP(ip);
        w.HdweVer->setText(hw);
        w.BootVer->setText(boot);
        w.FirmVer->setText(firm);
        return w;
    }

    bool select(NxUpdate& w, const QString& folder)
    {
        SetFolderResponder([this, folder](const FolderRequest& r) {
            m_folderRequests << r;
            return folder;
        });
        bool cancelled = false;
        w.SelectBinFile(cancelled);
        return !cancelled;
    }

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        SetMessageResponder([this](const Message& m) {
            m_messages << m;
            return m.buttons == MsgButtons::RetryCancel ? m_fileErrorAnswer : MsgAnswer::Ok;
        });
    }
    void init()
    {
        m_messages.clear();
        m_folderRequests.clear();
        SharedVersions() = {};
    }
    void cleanup()
    {
        Forms::Unload<NxUpdate>();
        Forms::Flush();
    }

    void layoutAndFirstState()
    {
        NxUpdate& w = Forms::Get<NxUpdate>();
        QCOMPARE(w.windowTitle(), QStringLiteral("Update Bootloader/Firmware"));
        QCOMPARE(w.size(), QSize(625, 249));
        QCOMPARE(w.cmdUpdate->geometry(), QRect(536, 64, 73, 25));
        QVERIFY(w.optFirm->isChecked() && !w.optBoot->isChecked());
        QVERIFY(w.lblStatus->isHidden() && w.ProgressBar1->isHidden());
        QVERIFY(!w.lbl1->isHidden() && !w.lbl2->isHidden() && !w.lbl3->isHidden());
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Update"));
    }

    void listsOnlyFilesThatFitNewestFirst()
    {
        QTemporaryDir dir;
        const QString folder = folderWith(
            dir, {{"A.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 11}))},
                  {"C.BIN", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}))},
                  {"newboot.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Bootloader, {1, 0, 7}, 0x090000, 0x090000))},
                  {"oldboot.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Bootloader, {1, 0, 6}))},
                  {"readme.txt", "d"}});
        NxUpdate& w = windowFor("127.0.0.2", "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        QCOMPARE(m_folderRequests.size(), 1);
        QCOMPARE(m_folderRequests[0].title,
                 QStringLiteral("Select the folder containing the update (bin) files for the device."));
        QCOMPARE(m_folderRequests[0].startFolder, QDir::homePath());
        QCOMPARE(lines(w.FirmUpdateFile), (QStringList{"Ver 1.0.17 (C.BIN)", "Ver 1.0.11 (A.bin)"}));
        QCOMPARE(w.FirmUpdateFile->currentIndex(), 0);
        QCOMPARE(lines(w.BootUpdateFile), (QStringList{"Ver 1.0.7 (newboot.bin)", "Ver 1.0.6 (oldboot.bin)"}));
        QVERIFY(w.optFirm->isChecked() && w.FirmUpdateFile->isEnabled() && !w.BootUpdateFile->isEnabled());
        QVERIFY(w.optBoot->isEnabled() && w.lblBoot->isEnabled());
        QCOMPARE(ReadSetting("UpdatesPath", {}), folder);
        QVERIFY(m_messages.isEmpty());

        w.optBoot->click();
        QVERIFY(w.BootUpdateFile->isEnabled() && !w.FirmUpdateFile->isEnabled());
    }

    void bootloaderFilesOnlyLeaveTheFirmwareSideOff()
    {
        QTemporaryDir dir;
        const QString folder =
            folderWith(dir, {{"boot.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Bootloader, {1, 0, 7}))}});
        SimDevice dev(kLocalPort);
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        QVERIFY(w.FirmUpdateFile->count() == 0);
        QVERIFY(!w.optFirm->isEnabled() && !w.lblFirm->isEnabled());
        QCOMPARE(w.lblFirm->text(), QStringLiteral("No Firmware update files were found."));
        QCOMPARE(w.lblBoot->text(), QStringLiteral("To update the Bootloader, select the bootloader update file:"));
        // Update with the empty firmware list still chosen does nothing.
        w.show();
        w.cmdUpdate->click();
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Update"));
        QVERIFY(w.lblStatus->isHidden());
        QVERIFY(dev.received().isEmpty());
    }

    void selectionFailures()
    {
        QTemporaryDir fitting, empty, foreign;
        folderWith(fitting, {{"A.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}))}});
        folderWith(foreign, {{"B.bin", withMarker(talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17})), 0x65)}});
        WriteSetting("UpdatesPath", QStringLiteral("/nonexistent-remembered"));

        const Message noFiles{"Update Firmware", "No update files were found.", MsgButtons::Ok, MsgIcon::Exclamation};
        struct Case {
            const char* name;
            QString folder;
            QString hw;
            MsgAnswer answer;
            QList<Message> messages;
            int boxes; // of the file error, when it is expected
        } cases[] = {
            {"cancelled folder choice", QString(), "1.2", MsgAnswer::Cancel, {}, 0},
            {"folder that cannot be listed", fitting.path() + "/missing", "1.2", MsgAnswer::Cancel, {}, 0},
            {"no bin files", empty.path(), "1.2", MsgAnswer::Cancel, {noFiles}, 0},
            {"only foreign bin files", foreign.path(), "1.2", MsgAnswer::Cancel, {noFiles}, 0},
            {"hardware text without a dot, Cancel", fitting.path(), "", MsgAnswer::Cancel, {}, 1},
            {"hardware text without a dot, Retry then Cancel", fitting.path(), "", MsgAnswer::Retry, {}, 2},
        };
        for (auto& c : cases) {
            m_messages.clear();
            NxUpdate& w = windowFor("127.0.0.2", c.hw, "1.0.5", "1.0.11");
            int errors = 0;
            SetMessageResponder([&](const Message& m) {
                m_messages << m;
                if (m.buttons != MsgButtons::RetryCancel)
                    return MsgAnswer::Ok;
                return ++errors < c.boxes ? c.answer : MsgAnswer::Cancel;
            });
            QVERIFY2(!select(w, c.folder), c.name);
            if (c.boxes) {
                QCOMPARE(m_messages.size(), c.boxes);
                QCOMPARE(m_messages[0].title, QStringLiteral("Update File Error"));
                QCOMPARE(m_messages[0].buttons, MsgButtons::RetryCancel);
                QVERIFY2(m_messages[0].text.contains(QLatin1String("hardware version")), c.name);
            } else {
                QCOMPARE(m_messages, c.messages);
            }
            QCOMPARE(ReadSetting("UpdatesPath", {}), QStringLiteral("/nonexistent-remembered"));
            QCOMPARE(m_folderRequests.last().startFolder, QString()); // the remembered one is gone
            Forms::Unload<NxUpdate>();
        }
        initTestCase();
    }

    void damagedFileIsRefusedBeforeTheDeviceIsTouched()
    {
        QTemporaryDir dir;
        const QByteArray whole = talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}));
        const QString folder = folderWith(dir, {{"cut.bin", whole.left(whole.size() - 1)}});
        SimDevice dev(kLocalPort);
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        w.show();
        w.cmdUpdate->click();
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("Update File Error"));
        QVERIFY(m_messages[0].text.contains(QLatin1String("runs past the end of the file")));
        QVERIFY(dev.received().isEmpty());
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Update"));
        QVERIFY(w.cmdUpdate->isEnabled() && w.FirmUpdateFile->isEnabled());
    }

    void titleBarClose()
    {
        QTemporaryDir dir;
        const QString folder = folderWith(dir, {{"A.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}))}});
        SimDevice dev(kLocalPort);
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        w.show();
        w.close();
        QVERIFY(!Forms::IsLoaded<NxUpdate>());
        QVERIFY(dev.received().isEmpty());
    }

    void updates_data()
    {
        QTest::addColumn<bool>("boot");
        QTest::addColumn<bool>("tagged");
        QTest::addColumn<QString>("bootVer");
        QTest::addColumn<QString>("firmVer");
        QTest::newRow("firmware") << false << true << "1.0.5" << "1.0.17";
        QTest::newRow("bootloader") << true << true << "1.0.9" << "Erased";
        QTest::newRow("firmware the device does not take") << false << false << "1.0.5" << "Erased";
    }
    void updates()
    {
        QFETCH(bool, boot);
        QFETCH(bool, tagged);
        QTemporaryDir dir;
        talixsim::UpdateFileRecipe firm = recipe(talixsim::Region::Firmware, {1, 0, 17});
        firm.tagged = tagged;
        const QString folder = folderWith(dir, {{"FIRM.bin", talixsim::makeUpdateFile(firm)},
                                                {"BOOT.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Bootloader, {1, 0, 9}))}});
        SimDevice dev(kLocalPort);
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        w.show();
        if (boot)
            w.optBoot->click();
        // In the pause after the erase the window refuses the title-bar close and holds the port.
        bool closedWhileUpdating = true, portTaken = true;
        QTimer::singleShot(1000, &w, [&] {
            w.close();
            closedWhileUpdating = !Forms::IsLoaded<NxUpdate>() || !w.isVisible();
            portTaken = QUdpSocket().bind(QHostAddress::AnyIPv4, kLocalPort, QUdpSocket::DontShareAddress);
        });
        w.cmdUpdate->click();
        QVERIFY(!closedWhileUpdating && !portTaken);
        const auto notTaken = UpdateTexts::VersionNotTaken(boot, 0x010011, {0x010005, 0});
        QCOMPARE(m_messages, tagged ? QList<Message>{} : QList<Message>{*notTaken});
        QCOMPARE(w.lblStatus->text(), tagged ? QStringLiteral("Update was completed successfully.")
                                             : QStringLiteral("After the restart the device reports no firmware "
                                                              "(Erased), not version 1.0.17 of the update file."));
        QFETCH(QString, bootVer);
        QFETCH(QString, firmVer);
        QCOMPARE(w.BootVer->text(), bootVer);
        QCOMPARE(w.FirmVer->text(), firmVer);
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Close"));
        QVERIFY(w.cmdUpdate->isEnabled());
        for (QWidget* c : std::initializer_list<QWidget*>{w.cmdCancel, w.optBoot, w.optFirm, w.FirmUpdateFile,
                                                          w.BootUpdateFile, w.HdweVer, w.lblBoot})
            QVERIFY(!c->isEnabled());
        QVERIFY(!w.lblStatus->isHidden() && !w.ProgressBar1->isHidden() && w.lbl1->isHidden());
        QCOMPARE(w.ProgressBar1->value(), w.ProgressBar1->maximum());
        const auto device = dev.fleet.device(dev.index);
        QCOMPARE(device.boot, (boot ? talixsim::Version3{1, 0, 9} : talixsim::Version3{1, 0, 5}));
        QCOMPARE(device.firm, (boot || !tagged ? talixsim::Version3{0, 0, 0} : talixsim::Version3{1, 0, 17}));
        w.cmdUpdate->click();
        QVERIFY(!w.isVisible());
    }

    void eraseNeverAcknowledged()
    {
        QTemporaryDir dir;
        const QString folder = folderWith(dir, {{"FIRM.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}))}});
        SimDevice dev(kLocalPort);
        dev.faults([](talixsim::Faults& f) { f.silent = true; });
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        w.show();
        w.cmdUpdate->click();
        QCOMPARE(m_messages, (QList<Message>{UpdateTexts::EraseTimedOut()}));
        QCOMPARE(w.lblStatus->text(), QStringLiteral("Programming Error.  Close this window and try again."));
        QCOMPARE(w.FirmVer->text(), QStringLiteral("1.0.11"));
        QCOMPARE(w.BootVer->text(), QStringLiteral("1.0.5"));
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Close"));
        QCOMPARE(dev.received(), (QList<QByteArray>{QByteArray::fromHex("5850E7FE71")}));
    }

    void restartNeverConfirmedStillChangesTheVersion()
    {
        QTemporaryDir dir;
        const QString folder = folderWith(dir, {{"FIRM.bin", talixsim::makeUpdateFile(recipe(talixsim::Region::Firmware, {1, 0, 17}))}});
        SimDevice dev(kLocalPort);
        NxUpdate& w = windowFor(dev.ip, "1.2", "1.0.5", "1.0.11");
        QVERIFY(select(w, folder));
        // Each look at the clock is a minute later: the waits for the device end after one try.
        double now = 0;
        w.Exchange().SetClock([&now] { return now += 60; });
        w.show();
        // Silent after the restart for longer than any wait.
        dev.faults([](talixsim::Faults& f) { f.restartSilentMs = 60000; });
        w.cmdUpdate->click();
        QVERIFY(dev.received().contains(QByteArray::fromHex("5850BDFE9B")));
        QCOMPARE(m_messages, (QList<Message>{UpdateTexts::RebootTimedOut()}));
        QCOMPARE(w.lblStatus->text(), QStringLiteral("Rebooting device . . ."));
        QCOMPARE(w.FirmVer->text(), QStringLiteral("1.0.17"));
        QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Close"));
    }
};

QTEST_MAIN(TestNxUpdate)
#include "test_nxupdate.moc"
