#include "entry/nxconfig.h"

#include "entry/brevion.h"
#include "ui/forms.h"
#include "ui/networksettings.h"
#include "gui/nxfind.h"
#include "gui/nxsetup.h"
#include "gui/nxupdate.h"
#include "ui/waitloop.h"

#include <QApplication>

#include <memory>
#include <string>

namespace brevion {

NxConfig::NxConfig() = default;

NxConfig::~NxConfig()
{
    if (QCoreApplication::instance())
        Class_Terminate();
}

void NxConfig::Show()
{
    // A host without a QApplication gets one for the length of the call.
    std::unique_ptr<QApplication> ownApp;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char arg0[] = "brevion";
        static char* argv[] = {arg0, nullptr};
        ownApp = std::make_unique<QApplication>(argc, argv);
    }
    if (QApplication::applicationName().isEmpty() || QApplication::applicationName() == QLatin1String("brevion"))
        QApplication::setApplicationName(QStringLiteral("Vant TALIX"));

    Forms::Get<NxFind>().show();
    WaitUntil([] {
        return !Forms::IsVisible<NxFind>() && !Forms::IsVisible<NxSetup>() && !Forms::IsVisible<NxUpdate>();
    });
    Class_Terminate();
    // The dialogs (wizard, MAC address entry, credits) go too: a host without a QApplication of
    // its own gets a new one on its next Show, and no widget may outlive the one it was made in.
    Forms::UnloadAll();
    Forms::Flush();
}

void NxConfig::Class_Terminate()
{
    Forms::Unload<NxFind>();
    Forms::Unload<NxSetup>();
    Forms::Unload<NxUpdate>();
}

void ConfigureNetwork(unsigned short devicePort, unsigned short localPort, const char* discoveryAddress)
{
    NetworkSettings settings = Network();
    if (devicePort)
        settings.devicePort = devicePort;
    if (localPort)
        settings.localPort = localPort;
    if (discoveryAddress && *discoveryAddress)
        settings.discoveryAddress = QString::fromLatin1(discoveryAddress);
    SetNetwork(settings);
}

} // namespace brevion

struct brevion_component {
    brevion::NxConfig config;
};

extern "C" {

brevion_component* brevion_create(void)
{
    try {
        return new brevion_component;
    } catch (...) {
        return nullptr;
    }
}

int brevion_show(brevion_component* component)
{
    if (!component)
        return -1;
    try {
        component->config.Show();
        return 0;
    } catch (...) {
        return -1;
    }
}

void brevion_release(brevion_component* component) { delete component; }

void brevion_set_network(unsigned short device_port, unsigned short local_port, const char* discovery_address)
{
    brevion::ConfigureNetwork(device_port, local_port, discovery_address);
}

const char* brevion_progid(void) { return brevion::kProgID; }
const char* brevion_version(void)
{
    static const std::string version = std::to_string(brevion::kVersionMajor) + '.' +
                                       std::to_string(brevion::kVersionMinor) + '.' +
                                       std::to_string(brevion::kVersionRevision);
    return version.c_str();
}
}
