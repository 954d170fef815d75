// Start-up of the host program: from starting `brevion` until its discovery window has painted
// (offscreen), and the peak resident memory of the process. The program runs with
// BREVION_EXIT_AFTER_SHOW, so it closes the window once painted and exits; the time is taken
// from outside, from the start of the process until it has ended, so it includes exit too.
// The baseline is a Qt program that shows one empty window the same way (bench_bare_window).
//
//   bench_startup [runs]     default 10
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr time_t kBoundSeconds = 20;

struct Run {
    double ms = 0;
    long maxRssKiB = 0;
    bool ok = false;
};

Run runOnce(const char* program, const std::vector<const char*>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (const char* a : arguments)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    Run run;
    if (child < 0)
        return run;
    // A program that does not end by itself is stopped after the bound.
    timespec bound{kBoundSeconds, 0};
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    if (sigtimedwait(&childEnded, nullptr, &bound) < 0) {
        std::fprintf(stderr, "%s did not end within %ld s; stopped\n", program,
                     long(kBoundSeconds));
        kill(child, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return run;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.maxRssKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct Summary {
    double medianMs = 0;
    double bestMs = 0;
    double maxRssMiB = 0;
    bool ok = true;
};

Summary measure(const char* name, const char* program, const std::vector<const char*>& arguments,
                int runs)
{
    std::vector<double> times;
    Summary summary;
    runOnce(program, arguments); // warms the page cache
    for (int i = 0; i < runs; ++i) {
        const Run run = runOnce(program, arguments);
        if (!run.ok) {
            std::fprintf(stderr, "%s did not end normally\n", program);
            summary.ok = false;
            return summary;
        }
        times.push_back(run.ms);
        summary.maxRssMiB = std::max(summary.maxRssMiB, run.maxRssKiB / 1024.0);
    }
    std::sort(times.begin(), times.end());
    summary.medianMs = times[times.size() / 2];
    summary.bestMs = times.front();
    std::printf("%-30s median %6.1f ms  best %6.1f ms  peak resident %5.1f MiB  (%d runs)\n", name,
                summary.medianMs, summary.bestMs, summary.maxRssMiB, runs);
    return summary;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("BREVION_EXIT_AFTER_SHOW", "1", 1);
    char runtimeDir[] = "/tmp/bench-startup-XXXXXX";
    const bool ownRuntimeDir = !getenv("XDG_RUNTIME_DIR") && mkdtemp(runtimeDir);
    if (ownRuntimeDir)
        setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    // SIGCHLD stays pending until runOnce takes it.
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childEnded, nullptr);
    // Loopback and ports of this benchmark, in case anything is sent before the window closes.
    const std::vector<const char*> hostArguments = {"--port", "24830",       "--local-port",
                                                    "24831",  "--broadcast", "127.0.0.1"};

    const Summary host = measure("brevion to discovery window", HOST_PROGRAM, hostArguments, runs);
    const Summary bare = measure("empty Qt window (baseline)", BARE_PROGRAM, {}, runs);
    if (ownRuntimeDir)
        rmdir(runtimeDir);
    if (!host.ok || !bare.ok)
        return 1;
    std::printf("%-30s %.2fx the time, %.2fx the memory of the baseline\n", "",
                host.medianMs / bare.medianMs, host.maxRssMiB / bare.maxRssMiB);
    const bool met = host.medianMs < 300 && host.maxRssMiB < 60;
    std::printf("goal (under 300 ms and under 60 MiB): %s\n", met ? "met" : "NOT met");
    return 0;
}
