// Runs in the lab's pc namespace (tests/lab/lab.sh), against a simulated device next door on the
// real port: the route to the device goes away while the blocks are being sent, as when a link
// drops mid-update. The update window asks Retry or Cancel; Retry sends the same block again and,
// once the route is back, the update ends as if nothing had happened.

#include "gui/nxupdate.h"

#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/msgbox.h"
#include "sim/updateimage.h"

#include <QtTest>
#include <QtWidgets>

#include <cstdlib>

using namespace brevion;

namespace {

bool route(const char* change)
{
    const QByteArray command = QByteArray("ip route ") + change + " unreachable " + qgetenv("LAB_DEV_FIRST") + "/32";
    return std::system(command.constData()) == 0;
}

} // namespace

class LabNxUpdate : public QObject {
    Q_OBJECT
    QTemporaryDir m_settings, m_files;

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        QFile f(m_files.filePath(QStringLiteral("FIRM.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly) &&
                f.write(talixsim::makeUpdateFile({.region = talixsim::Region::Firmware, .version = {1, 0, 17},
                                                  .size = 640, .hwMin = 0x0102, .hwMax = 0x0102})) > 0);
    }

    // retries: Retry answers before the route comes back (then Retry once more); -1: Cancel.
    void linkLostWhileProgramming()
    {
        const struct {
            const char* name; int retries; QString status, firmware;
        } cases[] = {
            {"cancelled", -1, "Programming Error.  Close this window and try again.", "1.0.11"},
            {"retried until the link is back", 2, "Update was completed successfully.", "1.0.17"},
        };
        for (const auto& c : cases) {
            std::vector<Message> shown;
            SetMessageResponder([&](const Message& m) {
                shown.push_back(m);
                if (m.title != "Update File Error")
                    return MsgAnswer::Ok;
                if (c.retries < 0) {
                    route("del");
                    return MsgAnswer::Cancel;
                }
                if (int(shown.size()) > c.retries)
                    route("del");
                return MsgAnswer::Retry;
            });
            SetFolderResponder([this](const FolderRequest&) { return m_files.path(); });
            NxUpdate& w = Forms::Get<NxUpdate>();
            w.SetDeviceIP(qEnvironmentVariable("LAB_DEV_FIRST"));
            w.HdweVer->setText(QStringLiteral("1.2"));
            w.BootVer->setText(QStringLiteral("1.0.5"));
            w.FirmVer->setText(QStringLiteral("1.0.11"));
            bool cancelled = false;
            w.SelectBinFile(cancelled);
            QVERIFY(!cancelled);
            w.show();
            w.SetTimings({.pauseMs = 600, .afterEraseMs = 1000, .afterEraseErasedMs = 1000, .afterRestartMs = 2000});
            bool cut = false;
            connect(w.ProgressBar1, &QProgressBar::valueChanged, &w, [&](int value) {
                if (value > 0 && w.lblStatus->text().startsWith("Programming") && !cut)
                    cut = route("add");
            });
            w.cmdUpdate->click();
            QVERIFY2(cut, c.name);
            // One box for each send refused: the first, and each Retry while the route is gone.
            QCOMPARE(shown.size(), size_t(std::max(c.retries, 0) + 1));
            for (const Message& m : shown)
                QVERIFY2(m.title == "Update File Error" && m.buttons == MsgButtons::RetryCancel &&
                             m.text.endsWith("No route to host"),
                         qPrintable(m.title + ": " + m.text));
            QCOMPARE(w.lblStatus->text(), c.status);
            QCOMPARE(w.FirmVer->text(), c.firmware);
            Forms::Unload<NxUpdate>();
        }
    }
};

QTEST_MAIN(LabNxUpdate)
#include "lab_nxupdate.moc"
