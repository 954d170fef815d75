// Discovery against N simulated bridges on loopback, through the discovery window (offscreen):
// the share of devices listed after one search, and the longest time between two events the
// program processed during the search (how long the window was unresponsive at worst). Then a
// search at the range 127.0.0.0/20 (4,094 addresses, each asked twice) with 1,000 bridges in it:
// all listed, and the search over within 1.5 s of the last request the bridges heard.
//   bench_discovery [N ...]     default: 10 250 1000 2000 5000 10000
//   bench_discovery range       the range alone
// Meant to run as an ordinary user with the kernel's stock receive limit (bench/run.sh sees to
// it): root may force a larger socket buffer and would hide lost replies.
#include "ui/forms.h"
#include "ui/networksettings.h"
#include "gui/nxfind.h"
#include "discovery/searchtarget.h"

#include "sim/fleet.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace brevion;
using Clock = std::chrono::steady_clock;

namespace {

constexpr quint16 kFleetPortBase = 24280;
constexpr quint16 kLocalPortBase = 24290;
constexpr int kGoalDevices = 10000;
constexpr double kGoalGapMs = 50.0;
constexpr int kRangeDevices = 1000;
const QString kRange = QStringLiteral("127.0.0.0/20");
constexpr double kGoalAfterLastRequestS = 1.5;

// Records when each event is dispatched while measuring.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_measuring) {
            const Clock::time_point now = Clock::now();
            if (m_last != Clock::time_point{})
                m_longestGap = std::max(m_longestGap, now - m_last);
            m_last = now;
        }
        return QApplication::notify(receiver, event);
    }
    void startMeasuring()
    {
        m_longestGap = {};
        m_last = {};
        m_measuring = true;
    }
    double stopMeasuring()
    {
        m_measuring = false;
        return std::chrono::duration<double, std::milli>(m_longestGap).count();
    }

private:
    bool m_measuring = false;
    Clock::time_point m_last;
    Clock::duration m_longestGap{};
};

// One search at kRange through the window's Search at box; false when a goal is missed.
bool searchAtRange(quint16 fleetPort, quint16 localPort)
{
    QTemporaryDir settings; // the window remembers the range here, not in the user's settings
    qputenv("BREVION_SETTINGS_FILE", settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
    talixsim::FleetOptions options;
    options.port = fleetPort;
    talixsim::Fleet fleet(options);
    for (int i = 0; i < kRangeDevices; ++i)
        fleet.addDevice(talixsim::makeDevice(i));
    QString error;
    if (!fleet.start(&error)) {
        std::fprintf(stderr, "fleet of %d did not start: %s\n", kRangeDevices, qPrintable(error));
        return false;
    }
    SetNetwork({fleet.port(), localPort, QStringLiteral("127.255.255.255")});
    NxFind& window = Forms::Get<NxFind>();
    window.show();
    window.cboSearchAt->setEditText(kRange);
    const Clock::time_point start = Clock::now();
    window.cmdSearch->click();
    const Clock::time_point end = Clock::now();
    int requests = 0;
    Clock::time_point last = start;
    for (const talixsim::TrafficEntry& e : fleet.traffic())
        if (e.direction == talixsim::TrafficEntry::Direction::In && e.bytes == "ZEVID")
            ++requests, last = std::max(last, e.time);
    const int listed = window.MSFlexGrid1->rowCount();
    const double total = std::chrono::duration<double>(end - start).count();
    const double afterLast = std::chrono::duration<double>(end - last).count();
    const double sending = std::chrono::duration<double>(last - start).count();
    std::printf("search at %s (%u addresses), %d bridges in it: %d requests heard, %d listed; requests "
                "over %.3f s, search %.3f s, ended %.3f s after the last request\n",
                qPrintable(kRange), ParseSearchTarget(kRange)->count, kRangeDevices, requests, listed, sending, total,
                afterLast);
    const bool met = listed == kRangeDevices && afterLast <= kGoalAfterLastRequestS;
    std::printf("goal (all %d listed, ended within %.1f s of the last request): %s\n", kRangeDevices,
                kGoalAfterLastRequestS, met ? "met" : "NOT met");
    Forms::Unload<NxFind>();
    Forms::Flush();
    qunsetenv("BREVION_SETTINGS_FILE");
    return met;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    std::vector<int> sizes;
    const bool rangeAlone = argc == 2 && std::string(argv[1]) == "range";
    for (int i = 1; i < argc && !rangeAlone; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty() && !rangeAlone)
        sizes = {10, 250, 1000, 2000, 5000, kGoalDevices};

    long rmemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> rmemMax;
    std::printf("user id %u, net.core.rmem_max = %ld%s\n", static_cast<unsigned>(geteuid()), rmemMax,
                geteuid() == 0 ? " (root: the socket may pass it, lost replies are hidden)" : "");
    std::printf("%8s %10s %8s %14s %12s\n", "devices", "listed", "share", "longest gap", "search");
    int k = 0;
    bool goalMet = true;
    for (int n : sizes) {
        talixsim::FleetOptions options;
        options.port = static_cast<quint16>(kFleetPortBase + k);
        talixsim::Fleet fleet(options);
        for (int i = 0; i < n; ++i)
            fleet.addDevice(talixsim::makeDevice(i));
        QString error;
        if (!fleet.start(&error)) {
            std::fprintf(stderr, "fleet of %d did not start: %s\n", n, qPrintable(error));
            return 1;
        }
        SetNetwork({fleet.port(), static_cast<quint16>(kLocalPortBase + k),
                    QStringLiteral("127.255.255.255")});
        ++k;

        NxFind& window = Forms::Get<NxFind>();
        window.show();
        // Let the window paint once, as it has long before a user clicks.
        QEventLoop settle;
        QTimer::singleShot(100, &settle, &QEventLoop::quit);
        settle.exec();
        // A heartbeat keeps an event due at all times, so a long gap means a long handler.
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.start(5);
        const Clock::time_point start = Clock::now();
        app.startMeasuring();
        window.cmdSearch->click();
        const double gapMs = app.stopMeasuring();
        const double searchS = std::chrono::duration<double>(Clock::now() - start).count();
        heartbeat.stop();

        const int listed = window.MSFlexGrid1->rowCount();
        const double share = n ? 100.0 * listed / n : 100.0;
        std::printf("%8d %10d %7.1f%% %11.1f ms %10.3f s\n", n, listed, share, gapMs, searchS);
        if (n <= kGoalDevices && (listed != n || gapMs > kGoalGapMs))
            goalMet = false;
        Forms::Unload<NxFind>();
        Forms::Flush();
    }
    if (!sizes.empty())
        std::printf("goal (all listed up to %d, no gap over %.0f ms): %s\n", kGoalDevices, kGoalGapMs,
                    goalMet ? "met" : "NOT met");
    searchAtRange(static_cast<quint16>(kFleetPortBase + 9), static_cast<quint16>(kLocalPortBase + 9));
    return 0;
}
