// talixctl: the device protocol of the Brevion windows from a shell.
#include "talixctl.h"

#include <QCoreApplication>

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    talixctl::RunOptions options;
    options.progress = ::isatty(STDERR_FILENO) == 1;
    return talixctl::RunTalixctl(args, std::cout, std::cerr, options);
}
