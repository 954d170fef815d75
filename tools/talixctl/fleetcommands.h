#pragma once

#include "discovery/devicelist.h"
#include "ui/networksettings.h"
#include "discovery/searchtarget.h"

#include <QString>
#include <QStringList>

#include <ostream>

namespace brevion {
class DeviceLink;
}

namespace talixctl {

// The fleet commands: many bridges at once over one DeviceLink. Each (but diff) starts with the
// one-second discovery, then holds at most `parallel` bridges in conversation; one bridge's
// failure never stops the others. Bridges that share an address, or a MAC, are listed but never
// touched.
// SIGINT stops starting bridges; those in conversation finish (an update is never abandoned
// between its erase and its restart), and the summary follows.
struct FleetRun {
    std::ostream& out;
    std::ostream& err;
    brevion::DeviceLink& link; // the run's one link
    brevion::NetworkSettings network;
    bool json = false;
    bool progress = false; // progress of update-all on err
    int parallel = 16;
    int speedup = 1; // update-all's waits for the devices divided by this (tests, benchmarks)
    std::vector<brevion::SearchTarget> searchAt; // none: the broadcast
};

// Why the fleet commands leave a bridge that answered the search alone (it shares its address or
// its MAC with another); empty when they may talk to it.
QString AnswerTrouble(const brevion::DeviceAnswer& answer);

int FleetInventory(const FleetRun& run, bool csv);
int FleetBackup(const FleetRun& run, const QString& folder);
int FleetDiff(const FleetRun& run, const QString& ip, const QString& path);
int FleetApply(const FleetRun& run, const QString& planPath, bool check, bool reboot);
// Which firmware update-all brings a bridge to: the newest file that fits it, or the fitting file of
// exactly `version` (older or newer than the bridge's). With force, a bridge that already runs that
// version is programmed again.
struct UpdateTarget {
    QString version; // "1.0.17"; empty: the newest
    bool force = false;
};
int FleetUpdateAll(const FleetRun& run, const QString& folder, bool check, const QStringList& only,
                   const UpdateTarget& target = {});

} // namespace talixctl
