// The host program: creates the component and shows it.
#include "nxconfig.h"

#include <CLI/CLI.hpp>

#include <QApplication>

int main(int argc, char** argv)
{
    CLI::App cli{"Brevion: find and configure Vant TALIX Ethernet-to-serial bridges."};
    unsigned short devicePort = 2362;
    unsigned short localPort = 2362;
    std::string broadcast = "255.255.255.255";
    cli.add_option("--port", devicePort, "Device UDP port")->capture_default_str();
    cli.add_option("--local-port", localPort, "Local UDP port bound")->capture_default_str();
    cli.add_option("--broadcast", broadcast, "Discovery destination address")->capture_default_str();
    // --demo (a simulated fleet on loopback, the component pointed at it) is declared here.
    cli.set_version_flag("--version", "brevion 1.2.0");
    CLI11_PARSE(cli, argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vant TALIX"));
    // The simulated fleet of --demo starts here, before the component, and overrides the
    // addresses above with its own.
    brevion::ConfigureNetwork(devicePort, localPort, broadcast.c_str());
    brevion::NxConfig component;
    component.Show();
    // Show returns once the user has closed the windows: that is a normal end.
    return 0;
}
