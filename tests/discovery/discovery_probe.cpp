// Runs one discovery search without a display and prints what answered, one device a line:
// name TAB MAC TAB IP. Used by the lab, where the real port and the limited broadcast are safe.
//   discovery_probe [--port N] [--local-port N] [--broadcast ADDR]
#include "discoverysearch.h"

#include <QCoreApplication>

#include <cstdio>

using namespace brevion;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NetworkSettings net; // the real defaults
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& option = args[i];
        const QString& value = args[i + 1];
        if (option == QLatin1String("--port"))
            net.devicePort = value.toUShort();
        else if (option == QLatin1String("--local-port"))
            net.localPort = value.toUShort();
        else if (option == QLatin1String("--broadcast"))
            net.discoveryAddress = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(option));
            return 2;
        }
    }

    DiscoverySearch search;
    search.SetNetwork(net);
    const DiscoverySearch::Outcome outcome = search.Run();
    for (const DiscoveredDevice& d : search.Devices().Entries())
        std::printf("%s\t%s\t%s\n", qPrintable(d.name), qPrintable(d.mac), qPrintable(d.ip));
    std::fprintf(stderr, "%d found; the request left on %d interface(s)%s\n",
                 search.Devices().Count(), search.Winsock1().LastBroadcastInterfaces(),
                 outcome == DiscoverySearch::Outcome::PortInUse ? "; the local port is in use"
                                                                : "");
    return outcome == DiscoverySearch::Outcome::Completed ? 0 : 1;
}
