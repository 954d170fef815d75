// The host program: creates the component and shows it.
#include "entry/nxconfig.h"

#include "common/nxfns.h"
#include "common/version.h"

#include "sim/fleet.h"

#include <CLI/CLI.hpp>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// With BREVION_EXIT_AFTER_SHOW set, the first window closes as soon as it has painted, so the
// program ends there: start-up can be timed from outside.
class CloseOncePainted : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!m_done && event->type() == QEvent::Paint && widget && widget->isWindow()) {
            m_done = true;
            QTimer::singleShot(0, widget, &QWidget::close);
        }
        return false;
    }

private:
    bool m_done = false;
};

// A free UDP port on this machine, so two demos side by side do not collide.
quint16 freeLocalPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHost, 0) ? probe.localPort() : quint16(23620);
}

// Six bridges on loopback: the three settings layouts, two sharing one address, and one that
// still carries the factory placeholder MAC.
std::unique_ptr<talixsim::Fleet> startDemoFleet()
{
    using talixsim::Preset;
    struct Bridge {
        const char* name;
        Preset preset;
    };
    const Bridge bridges[] = {
        {"Pump house", Preset::Basic}, {"Loading dock", Preset::Rules},
        {"Lab bench", Preset::Login},  {"Lab bench 2", Preset::Login},
        {"New bridge", Preset::Rules}, {"Front office", Preset::Basic},
    };
    talixsim::FleetOptions options;
    options.port = 0; // any free port: never the real one
    auto fleet = std::make_unique<talixsim::Fleet>(options);
    for (int i = 0; i < 6; ++i) {
        talixsim::DeviceState device = talixsim::makeDevice(i, bridges[i].preset);
        device.name = QString::fromLatin1(bridges[i].name);
        if (i == 3)
            device.address = device.ip = talixsim::loopbackAddress(2);
        if (i == 4)
            device.mac = talixsim::placeholderMac(4);
        if (bridges[i].preset != Preset::Basic) {
            // A few outgoing rules, so the rule list has something to show.
            device.rules[0] = {talixsim::ipFromText(QStringLiteral("192.168.1.20")), 23, 3, 0};
            device.rules[1] = {talixsim::ipFromText(QStringLiteral("10.0.0.5")), 5000, 0, 0};
            device.rules[2] = {talixsim::ipFromText(QStringLiteral("172.16.4.2")), 9100, 1 | 4, 300};
        }
        fleet->addDevice(device);
    }
    QString error;
    if (!fleet->start(&error)) {
        std::fprintf(stderr, "The simulated bridges could not start: %s\n", qPrintable(error));
        return nullptr;
    }
    return fleet;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App cli{"Brevion: find and configure Vant TALIX Ethernet-to-serial bridges."};
    unsigned short devicePort = 2362;
    unsigned short localPort = 2362;
    std::string broadcast = "255.255.255.255";
    bool demo = false;
    cli.add_option("--port", devicePort, "Device UDP port")->capture_default_str();
    cli.add_option("--local-port", localPort, "Local UDP port bound")->capture_default_str();
    cli.add_option("--broadcast", broadcast, "Discovery destination address")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string& text) {
                return brevion::IsValidIP(QString::fromStdString(text))
                           ? std::string()
                           : "not a dotted address (four numbers 0 to 255 without leading zeros): " + text;
            },
            "IPV4"));
    cli.add_flag("--demo", demo,
                 "Start six simulated bridges on loopback and search those (overrides the three "
                 "options above)");
    cli.set_version_flag("--version", "brevion " + std::to_string(brevion::kVersionMajor) + '.' +
                                          std::to_string(brevion::kVersionMinor) + '.' +
                                          std::to_string(brevion::kVersionRevision));
    CLI11_PARSE(cli, argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vant TALIX"));
    std::unique_ptr<talixsim::Fleet> fleet;
    if (demo) {
        fleet = startDemoFleet();
        if (!fleet)
            return 1;
        // Loopback only: the discovery request goes to loopback's broadcast address.
        devicePort = fleet->port();
        localPort = freeLocalPort();
        broadcast = "127.255.255.255";
    }
    brevion::ConfigureNetwork(devicePort, localPort, broadcast.c_str());
    CloseOncePainted closeOncePainted;
    if (qEnvironmentVariableIsSet("BREVION_EXIT_AFTER_SHOW"))
        app.installEventFilter(&closeOncePainted);
    brevion::NxConfig component;
    component.Show();
    // Show returns once the user has closed the windows: that is a normal end.
    return 0;
}
