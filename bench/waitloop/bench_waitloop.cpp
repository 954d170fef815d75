// CPU time of the wait loop. A one-second WaitUntil ended by a timer, against the same wait
// written as a polling loop (process events without blocking, in a loop on the clock), and the
// component's Show loop idling with the discovery window open.
//
//   bench_waitloop [show-seconds]     (default 10; 0 skips the Show measurement)
#include "forms.h"
#include "nxconfig.h"
#include "nxfind.h"
#include "timer.h"
#include "waitloop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double cpuSeconds()
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

template <class F> Sample measure(F&& run)
{
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    run();
    return {double(clock.nsecsElapsed()) / 1e9, cpuSeconds() - cpu0};
}

void report(const char* name, const Sample& s)
{
    std::printf("%-34s wall %6.3f s  cpu %7.4f s  cpu/wall %6.2f %%\n", name, s.wall, s.cpu,
                100.0 * s.share());
}

} // namespace

int main(int argc, char** argv)
{
    const int showSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    QApplication app(argc, argv);
    brevion::ConfigureNetwork(24090, 24091, "127.0.0.1");

    // The wait loop: blocks between events; one timer tick ends it.
    const Sample wait = measure([] {
        brevion::Timer timer;
        bool done = false;
        QObject::connect(&timer, &brevion::Timer::Tick, [&] {
            done = true;
            timer.setEnabled(false);
        });
        timer.setInterval(1000);
        timer.setEnabled(true);
        brevion::WaitUntil([&] { return done; });
    });

    // Baseline: the same second as a polling loop that never blocks.
    const Sample poll = measure([] {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    });

    report("WaitUntil, 1 s timer", wait);
    report("polling loop, 1 s (baseline)", poll);
    if (wait.cpu > 0)
        std::printf("%-34s %.0fx less CPU than polling\n", "", poll.cpu / wait.cpu);

    if (showSeconds > 0) {
        // Show with the discovery window open and idle, closed by a timer.
        const Sample show = measure([showSeconds] {
            QTimer::singleShot(showSeconds * 1000, [] { brevion::Forms::Get<brevion::NxFind>().close(); });
            brevion::NxConfig component;
            component.Show();
        });
        char name[64];
        std::snprintf(name, sizeof name, "Show, discovery window idle %d s", showSeconds);
        report(name, show);
    }
    return 0;
}
