// talixctl: the device protocol of the Brevion windows from a shell.
#include "talixctl.h"

#include <QCoreApplication>

#include <csignal>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    // A reader of the output that has gone (a closed pipe, a dropped SSH session) makes writes
    // fail; it must not end the process after an update has finished, or in the middle of one.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    talixctl::RunOptions options;
    options.progress = ::isatty(STDERR_FILENO) == 1;
    return talixctl::RunTalixctl(args, std::cout, std::cerr, options);
}
