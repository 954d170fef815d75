#include "gui/nxupdate.h"

#include "boxes.h"
#include "common/bridgelock.h"
#include "ui/dialogs.h"
#include "ui/forms.h"
#include "hex.h"
#include "ui/msgbox.h"
#include "ui/networksettings.h"
#include "ui/settingsstore.h"
#include "rig.h"
#include "sim/updateimage.h"

#include <QtTest>
#include <QtWidgets>
#include <QUdpSocket>

#include <algorithm>
#include <optional>
#include <unistd.h>

using namespace brevion;
using support::hex;
using Fault = std::function<void(talixsim::Faults&)>;

namespace {

const QString kProgrammingError = QStringLiteral("Programming Error.  Close this window and try again.");
const QString kCompleted = QStringLiteral("Update was completed successfully.");
const QString kComms = QStringLiteral("Communications Error");
const Message kDeviceError{kComms, "The device reported an error receiving the last command.\r\nPlease try the last operation again."};
const Message kEraseTimedOut{kComms, "Timed out waiting for the device to erase.\r\nReturn to the previous window and click \"Read Settings\" to see if it was erased."};
const Message kNoAnswerAfterErase{kComms, "Timed out waiting for a response from the device.\r\nReturn to the previous window and try again."};
const Message kProgramFailed{kComms, "Timed out waiting for a response from the device.\r\nThe device failed to program completely.\r\nReturn to the previous window and try again."};
const Message kRebootTimedOut{kComms, "Timed out waiting for the device to reboot.\r\nIt may or may not have rebooted.\r\nAllow several seconds for it to reboot and try to \"Find\" it again."};

QByteArray updateFile(talixsim::Region region, talixsim::Version3 version, bool tagged = true)
{
    return talixsim::makeUpdateFile({.region = region, .version = version, .size = 640, .hwMin = 0x0102, .hwMax = 0x0102, .tagged = tagged});
}

} // namespace

class TestNxUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings;
    support::Boxes m_boxes;
    FolderRequest m_folder; // the last one asked for

    QString folderWith(QTemporaryDir& dir, const QList<std::pair<QString, QByteArray>>& files)
    {
        for (const auto& [name, bytes] : files) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                qFatal("cannot write %s", qPrintable(name));
        }
        return dir.path();
    }
    // The window as the configuration window hands it over, SelectBinFile run on the folder.
    NxUpdate& selected(const QString& ip, const QString& folder, bool listed = true, const QString& hw = "1.2")
    {
        NxUpdate& w = Forms::Get<NxUpdate>();
        w.SetDeviceIP(ip);
        w.HdweVer->setText(hw);
        w.BootVer->setText(QStringLiteral("1.0.5"));
        w.FirmVer->setText(QStringLiteral("1.0.11"));
        SetFolderResponder([this, folder](const FolderRequest& r) { m_folder = r; return folder; });
        bool cancelled = false;
        w.SelectBinFile(cancelled);
        [&] { QCOMPARE(!cancelled, listed); }();
        w.show();
        return w;
    }
    QString updateFiles(QTemporaryDir& dir, bool tagged = true)
    {
        return folderWith(dir, {{"FIRM.bin", updateFile(talixsim::Region::Firmware, {1, 0, 17}, tagged)}, {"BOOT.bin", updateFile(talixsim::Region::Bootloader, {1, 0, 9})}});
    }

private slots:
    void init()
    {
        qputenv("BREVION_SETTINGS_FILE", m_settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        SetMessageResponder(m_boxes.sink());
    }
    void cleanup() { Forms::Unload<NxUpdate>(), Forms::Flush(), m_boxes.clear(); }

    void refusalsBeforeTheDeviceIsTouched()
    {
        QTemporaryDir fitting, empty, foreign, bootOnly, cut, held;
        const QByteArray firm = updateFile(talixsim::Region::Firmware, {1, 0, 17});
        const Message noFiles{"Update Firmware", "No update files were found.", MsgButtons::Ok, MsgIcon::Exclamation};
        // errorWords: of the "Update File Error" box, shown twice (Retry, then Cancel).
        const struct {
            const char* name; QString folder, hw; bool listed; std::vector<Message> messages; QString errorWords;
        } cases[] = {
            {"cancelled folder choice", QString(), "1.2", false, {}, {}},
            {"folder that cannot be listed", folderWith(fitting, {{"A.bin", firm}}) + "/missing", "1.2", false, {}, {}},
            {"no bin files", empty.path(), "1.2", false, {noFiles}, {}},
            {"only foreign bin files", folderWith(foreign, {{"B.bin", QByteArray(firm).replace(0, 1, "\x65")}}), "1.2", false, {noFiles}, {}},
            {"hardware text without a dot", fitting.path(), "", false, {}, "hardware version"},
            {"bootloader files only, Update on the empty list", folderWith(bootOnly, {{"boot.bin", updateFile(talixsim::Region::Bootloader, {1, 0, 7})}}), "1.2", true, {}, {}},
            {"a damaged file", folderWith(cut, {{"cut.bin", firm.left(firm.size() - 1)}}), "1.2", true, {}, "runs past the end of the file"},
            {"the device held by another program", folderWith(held, {{"A.bin", firm}}), "1.2", true, {}, {}},
        };
        for (const auto& c : cases) {
            support::Rig dev(1, talixsim::Preset::Rules);
            std::optional<BridgeLock> lock; // another program's update
            if (QByteArray(c.name).contains("held"))
                lock.emplace(dev.ip(), Network().devicePort);
            m_boxes.clear();
            m_boxes.answers = {c.errorWords.isEmpty() ? MsgAnswer::Ok : MsgAnswer::Retry};
            WriteSetting("UpdatesPath", QStringLiteral("/nonexistent-remembered"));
            NxUpdate& w = selected(dev.ip(), c.folder, c.listed, c.hw);
            if (c.listed)
                w.cmdUpdate->click();
            QVERIFY2(w.cmdUpdate->text() == "Update" && w.lblStatus->isHidden() && dev.datagrams().isEmpty(), c.name);
            if (!c.listed) // the remembered folder is gone, and stays so
                QVERIFY(m_folder.startFolder.isEmpty() && ReadSetting("UpdatesPath", {}) == "/nonexistent-remembered");
            if (lock) // the words: tests/tools
                QVERIFY(m_boxes.shown.size() == 1 && m_boxes.shown[0].text.contains(QString("(process %1)").arg(::getpid())));
            else if (c.errorWords.isEmpty())
                QCOMPARE(m_boxes.shown, c.messages);
            else
                QVERIFY2(m_boxes.shown.size() == 2 && m_boxes.shown[0].title == "Update File Error" &&
                             m_boxes.shown[0].text.contains(c.errorWords), c.name);
            Forms::Unload<NxUpdate>();
        }
    }

    // The one whole update at the device's own waits.
    void firmwareUpdate()
    {
        support::Rig dev(1, talixsim::Preset::Rules);
        QTemporaryDir dir;
        NxUpdate& w = selected(dev.ip(), updateFiles(dir));
        QCOMPARE(m_folder.title, QStringLiteral("Select the folder containing the update (bin) files for the device."));
        QCOMPARE(ReadSetting("UpdatesPath", {}), dir.path());
        QCOMPARE(w.FirmUpdateFile->currentText() + w.BootUpdateFile->itemText(0), QStringLiteral("Ver 1.0.17 (FIRM.bin)Ver 1.0.9 (BOOT.bin)"));
        QVERIFY(w.optFirm->isChecked() && w.FirmUpdateFile->isEnabled() && !w.BootUpdateFile->isEnabled() &&
                w.lblStatus->isHidden() && w.ProgressBar1->isHidden() && !w.lbl1->isHidden());
        // Each phase's status and bar maximum (in tenths), as the bar moves.
        QStringList phases;
        connect(w.ProgressBar1, &QProgressBar::valueChanged, &w, [&] {
            const QString entry = QStringLiteral("%1 %2").arg(w.lblStatus->text()).arg(w.ProgressBar1->maximum());
            if (phases.isEmpty() || phases.last() != entry)
                phases << entry;
        });
        // In the pause after the erase the bar moves a tenth each 100 ms; the title-bar close is
        // refused and the port is held.
        int animated = -1;
        bool closed = true, portTaken = true;
        QTimer::singleShot(1000, &w, [&] {
            animated = w.ProgressBar1->value();
            w.close();
            closed = !Forms::IsLoaded<NxUpdate>() || !w.isVisible();
            portTaken = QUdpSocket().bind(QHostAddress::AnyIPv4, dev.localPort, QUdpSocket::DontShareAddress);
        });
        w.cmdUpdate->click();
        QVERIFY2(animated >= 6 && animated <= 14, qPrintable(QString::number(animated)));
        QVERIFY(!closed && !portTaken && m_boxes.shown.empty());
        QCOMPARE(phases, (QStringList{"Erasing Firmware . . . 250", "Programming Firmware . . . 6400",
                                      "Rebooting device . . . 270"}));
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(w.lblStatus->text(), w.BootVer->text(), w.FirmVer->text()).arg(w.ProgressBar1->value()),
                 kCompleted + " 1.0.5 1.0.17 270");
        QCOMPARE(dev.fleet.device(0).firm, (talixsim::Version3{1, 0, 17}));
        QVERIFY(dev.datagrams().first() == hex("58 50 E7 FE 71") && dev.datagrams().contains(hex("58 50 BD FE 9B")));
        QVERIFY(!w.cmdCancel->isEnabled() && !w.optBoot->isEnabled() && !w.optFirm->isEnabled() &&
                !w.FirmUpdateFile->isEnabled() && !w.HdweVer->isEnabled() && w.lbl1->isHidden() && w.cmdUpdate->isEnabled() && w.cmdUpdate->text() == "Close");
        w.cmdUpdate->click();
        QVERIFY(!w.isVisible());
    }

    // How each ending of the update shows, the waits shortened.
    void endings()
    {
        const Message notTaken{"Update Firmware", "After the restart the device reports no firmware (Erased), not version 1.0.17 of the update file.\r\n"
                               "The update did not take effect: run it again, or use another update file.", MsgButtons::Ok, MsgIcon::Exclamation};
        const Message held{kComms, "The command could not be sent: local UDP port %1 is in use by another program.\r\nPlease close the program that uses this port and try again."};
        // midway: once the first block is accepted; portHeld: by another program; versions: boot,
        // firmware; extraSends: of blocks.
        const struct {
            const char* name; bool boot, tagged; Fault before, midway; bool portHeld; std::vector<Message> messages;
            QString status, versions; qsizetype extraSends = 0;
        } cases[] = {
            {"bootloader", true, true, {}, {}, false, {}, kCompleted, "1.0.9 Erased"},
            {"firmware not taken", false, false, {}, {}, false, {notTaken}, notTaken.text.section("\r\n", 0, 0), "1.0.5 Erased"},
            {"erase unanswered", false, true, [](auto& f) { f.silent = true; }, {}, false, {kEraseTimedOut}, kProgrammingError, "1.0.5 1.0.11"},
            {"erase refused", false, true, [](auto& f) { f.nackNext = 1; }, {}, false, {kDeviceError, kEraseTimedOut}, kProgrammingError, "1.0.5 1.0.11"},
            {"silent after the erase", false, true, [](auto& f) { f.truncateReplies = 10; }, {}, false, {kNoAnswerAfterErase}, kProgrammingError, "1.0.5 1.0.11"},
            {"block refused once", false, true, {}, [](auto& f) { f.nackNext = 1; }, false, {kDeviceError}, kCompleted, "1.0.5 1.0.17", 1},
            {"blocks unanswered", false, true, {}, [](auto& f) { f.silent = true; }, false, {kProgramFailed}, kProgrammingError, "1.0.5 1.0.11", 3},
            {"restart unconfirmed", false, true, [](auto& f) { f.restartSilentMs = 60000; }, {}, false, {kRebootTimedOut}, "Rebooting device . . .", "1.0.5 1.0.17"},
            {"port held by another program", false, true, {}, {}, true, {held}, kProgrammingError, "1.0.5 1.0.11"},
        };
        for (const auto& c : cases) {
            support::Rig dev(1, talixsim::Preset::Rules);
            if (c.before)
                dev.faults(c.before);
            QUdpSocket other;
            QVERIFY(!c.portHeld || other.bind(QHostAddress::AnyIPv4, dev.localPort, QUdpSocket::DontShareAddress));
            QTemporaryDir dir;
            NxUpdate& w = selected(dev.ip(), updateFiles(dir, c.tagged));
            m_boxes.clear();
            w.SetTimings({.eraseWaitMs = 300, .blockWaitMs = 150, .restartWaitMs = 200, .readWaitMs = 200, .pauseMs = 50,
                          .afterEraseMs = 400, .afterEraseErasedMs = 400, .afterRestartMs = 500});
            if (c.boot)
                w.optBoot->click();
            connect(w.ProgressBar1, &QProgressBar::valueChanged, &w, [&, done = false](int value) mutable {
                if (c.midway && value > 0 && w.lblStatus->text().startsWith("Programming") && !std::exchange(done, true))
                    dev.faults(c.midway);
            });
            w.cmdUpdate->click();
            std::vector<Message> expected = c.messages;
            for (Message& m : expected) // the port, where a box names it
                m.text.replace("%1", QString::number(dev.localPort));
            QCOMPARE(m_boxes.shown, expected);
            QCOMPARE(w.lblStatus->text(), c.status);
            QCOMPARE(w.BootVer->text() + " " + w.FirmVer->text() + " " + w.cmdUpdate->text(), c.versions + " Close");
            const QList<QByteArray> in = dev.datagrams();
            QCOMPARE(in.isEmpty(), c.portHeld);
            if (std::ranges::count(m_boxes.shown, kEraseTimedOut))
                QCOMPARE(in, QList<QByteArray>{hex("58 50 E7 FE 71")});
            // Each block goes until it is accepted: an unanswered one 4 times in all, a refused one twice.
            QList<QByteArray> blocks = in;
            blocks.removeIf([](const QByteArray& d) { return !d.startsWith("XP\xC3"); });
            QCOMPARE(blocks.size() - QSet<QByteArray>(blocks.begin(), blocks.end()).size(), c.extraSends);
            Forms::Unload<NxUpdate>();
        }
    }
};

QTEST_MAIN(TestNxUpdate)
#include "test_nxupdate.moc"
