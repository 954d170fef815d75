// CPU time of the program while it waits, for the three waits a user sits through: the Show loop
// with the discovery window open and idle, a command waiting for its reply time-out, and the wait
// for a device's answer during an update (the update window waiting on its conversation). The
// device never answers.
// Each wait runs twice in the same process: as the program waits (blocking between events) and,
// as the baseline, the same code with the wait loop polling (events processed without blocking, in
// a loop on the clock).
//
//   bench_waitloop [seconds]     length of each wait, default 10
#include "gui/commandexchange.h"
#include "ui/forms.h"
#include "ui/networksettings.h"
#include "entry/nxconfig.h"
#include "gui/nxfind.h"
#include "config/settingsrecord.h"
#include "engine/devicelink.h"
#include "engine/updateconversation.h"
#include "update/updatefile.h"
#include "ui/waitloop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace brevion;

namespace {

constexpr quint16 kLocalPort = 24810;

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Sample {
    double wall = 0;
    double cpu = 0;
    double share() const { return wall > 0 ? cpu / wall : 0; }
};

class Meter {
public:
    void start()
    {
        m_cpu0 = processCpuSeconds();
        m_clock.start();
    }
    Sample stop() const
    {
        return {double(m_clock.nsecsElapsed()) / 1e9, processCpuSeconds() - m_cpu0};
    }

private:
    QElapsedTimer m_clock;
    double m_cpu0 = 0;
};

// A device that never answers: a socket on loopback that is never read, so requests reach a
// listener (no port-unreachable) and nothing in this process wakes for them.
class SilentDevice {
public:
    SilentDevice()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("silent device");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
    }
    ~SilentDevice() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// The discovery window open and idle inside Show; measured from a moment after it has painted
// until the timer that closes it.
Sample showIdle(double seconds)
{
    Meter meter;
    Sample sample;
    QTimer::singleShot(300, Qt::PreciseTimer, [&] { meter.start(); });
    QTimer::singleShot(300 + int(seconds * 1000), Qt::PreciseTimer, [&] {
        sample = meter.stop();
        Forms::Get<NxFind>().close();
    });
    NxConfig component;
    component.Show();
    return sample;
}

// Read commands to a device that never answers, each waiting for its time-out, back to back.
Sample commandTimeouts(double seconds)
{
    CommandExchange exchange;
    int timeouts = 0;
    exchange.SetMessageSink([&](const Message&) {
        ++timeouts;
        return MsgAnswer::Ok;
    });
    exchange.SetDeviceIP(QStringLiteral("127.0.0.1"));
    const int commands = std::max(1, int(seconds * 1000 + 999) / CommandExchange::kReplyTimeoutMs);
    Meter meter;
    meter.start();
    for (int i = 0; i < commands; ++i)
        exchange.RunAndWait(ReadCommand(), CommandExchange::OpRead);
    const Sample sample = meter.stop();
    exchange.Close();
    if (timeouts != commands)
        std::fprintf(stderr, "expected %d time-outs, saw %d\n", commands, timeouts);
    return sample;
}

// An update waiting for the erase's answer, as the update window waits on its conversation;
// nobody answers.
Sample updateWait(double seconds)
{
    DeviceLink link(Network());
    UpdateFile file;
    file.records.push_back({0x1000, QByteArray(64, 'x')});
    file.header.TotalBytes = 64;
    UpdateConversation update(link, QHostAddress(QStringLiteral("127.0.0.1")), file,
                              UpdateConversation::Target::Firmware, false);
    update.setTimings({.eraseWaitMs = int(seconds * 1000)});
    Meter meter;
    meter.start();
    update.start();
    WaitUntil([&update] { return update.isFinished(); });
    const Sample sample = meter.stop();
    if (update.outcome().code != Outcome::Code::TimedOut)
        std::fprintf(stderr, "the update ended otherwise: %s\n", qPrintable(OutcomeText(update.outcome())));
    return sample;
}

void report(const char* name, const char* how, const Sample& s)
{
    std::printf("%-36s %-9s wall %6.2f s  cpu %8.4f s  %7.3f %% of a core\n", name, how, s.wall,
                s.cpu, 100.0 * s.share());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    QApplication app(argc, argv);
    SilentDevice device;
    SetNetwork({device.port(), kLocalPort, QStringLiteral("127.0.0.1")});

    struct Wait {
        const char* name;
        std::function<Sample(double)> run;
    };
    const Wait waits[] = {
        {"Show, discovery window idle", showIdle},
        {"command waiting for its time-out", commandTimeouts},
        {"update waiting, device silent", updateWait},
    };
    bool goalMet = true;
    for (const Wait& wait : waits) {
        SetWaitMode(WaitMode::Blocking);
        const Sample blocking = wait.run(seconds);
        SetWaitMode(WaitMode::Polling);
        const Sample polling = wait.run(seconds);
        SetWaitMode(WaitMode::Blocking);
        report(wait.name, "blocking", blocking);
        report("", "polling", polling);
        std::printf("%-36s %-9s %.0fx less CPU than polling\n", "", "",
                    blocking.cpu > 0 ? polling.cpu / blocking.cpu : 0.0);
        if (blocking.share() >= 0.01)
            goalMet = false;
    }
    std::printf("goal (every wait under 1 %% of a core): %s\n", goalMet ? "met" : "NOT met");
    return 0;
}
