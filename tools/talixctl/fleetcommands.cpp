#include "fleetcommands.h"

#include "common/bridgelock.h"
#include "engine/commandconversation.h"
#include "conversations.h"
#include "engine/devicelink.h"
#include "engine/outcomewords.h"
#include "discovery/devicelist.h"
#include "engine/discoverconversation.h"
#include "discovery/discoverytexts.h"
#include "fleetplan.h"
#include "interrupts.h"
#include "common/regularfile.h"
#include "config/settingsfile.h"
#include "settingsjson.h"
#include "settingsview.h"
#include "talixctl.h"
#include "engine/updateconversation.h"
#include "update/updatefile.h"
#include "update/updatelist.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace talixctl {

using namespace brevion;
using nlohmann::ordered_json;

namespace {

std::string str(const QString& text) { return text.toStdString(); }
ordered_json jtext(const QString& text) { return text.isNull() ? ordered_json(nullptr) : ordered_json(str(text)); }

const QString kNotFound = QStringLiteral("not found");
const QString kNotStarted = QStringLiteral("not started: interrupted");

// SIGINT or SIGTERM while a fleet command runs: no further bridge is started.
class Interrupt : public QObject {
    Q_OBJECT
public:
    explicit Interrupt(std::ostream& err)
        : m_signals([this, &err](int) {
              if (!m_raised)
                  err << "Interrupted: no further bridges are started; those in conversation finish.\n";
              m_raised = true;
              emit raised();
          })
    {
    }
    bool isRaised() const { return m_raised; }

signals:
    void raised();

private:
    Interrupts m_signals;
    bool m_raised = false;
};

// Runs start(i, done) for i = 0..count-1, at most `parallel` unfinished at once, and returns when
// every started one has called done. After an interrupt nothing more is started.
void runCrew(int count, int parallel, Interrupt& interrupt,
             const std::function<void(int, std::function<void()>)>& start)
{
    QEventLoop loop;
    int next = 0, active = 0;
    bool waiting = false;
    auto over = [&] { return active == 0 && (next == count || interrupt.isRaised()); };
    std::function<void()> fill = [&] {
        while (active < parallel && next < count && !interrupt.isRaised()) {
            ++active;
            start(next++, [&] {
                --active;
                fill();
                if (waiting && over())
                    loop.quit();
            });
        }
    };
    QObject::connect(&interrupt, &Interrupt::raised, &loop, [&] {
        if (over())
            loop.quit();
    });
    fill();
    if (!over()) {
        waiting = true;
        loop.exec();
    }
}

// One bridge of a fleet command.
struct Bridge {
    QString key; // MacKey
    QString mac; // as the discovery shows it
    QString name;
    QString ip;
    bool duplicate = false;
    bool started = false;
    std::optional<SettingsReply> reply;
    QString error; // empty while nothing failed
};

// The command's socket and the interrupt it answers to.
struct Context {
    const FleetRun& run;
    DeviceLink& link;
    Interrupt interrupt;
    explicit Context(const FleetRun& r) : run(r), link(r.link), interrupt(r.err) {}

    // Opens the link; tells why not.
    bool open()
    {
        const Outcome opened = link.open();
        if (opened.ok())
            return true;
        run.err << str(SearchWords(opened)) << '\n';
        return false;
    }

    // The one-second search; bridges in discovery order.
    std::vector<Bridge> discover()
    {
        DiscoverConversation search(link);
        search.searchAt(run.searchAt);
        RunToEnd(search);
        if (const QString note = UnsentNote(search); !note.isEmpty())
            run.err << str(note) << '\n';
        std::vector<Bridge> bridges;
        for (const DeviceAnswer& a : search.devices().Answers()) {
            Bridge b;
            b.key = MacKey(a.device.mac).value_or(a.device.mac);
            b.mac = a.device.mac;
            b.name = a.device.name;
            b.ip = a.device.ip;
            b.duplicate = a.sharedAddress;
            b.error = AnswerTrouble(a);
            bridges.push_back(b);
        }
        return bridges;
    }

    // Reads the settings of the bridges at `which` that can be told apart.
    void readAll(std::vector<Bridge>& bridges, const std::vector<int>& which)
    {
        std::vector<int> readable;
        for (int i : which)
            if (bridges[i].error.isEmpty())
                readable.push_back(i);
        runCrew(int(readable.size()), run.parallel, interrupt, [&](int n, std::function<void()> done) {
            Bridge& b = bridges[readable[n]];
            b.started = true;
            auto* read = CommandConversation::Read(link, QHostAddress(b.ip), &link);
            Talk(read, [&b, read, done](const Outcome& o) {
                if (o.ok())
                    b.reply = read->reply();
                else
                    b.error = OutcomeText(o);
                done();
            });
        });
        for (int i : readable)
            if (!bridges[i].started)
                bridges[i].error = kNotStarted;
    }

    void printJson(const ordered_json& value) const { run.out << value.dump(2) << '\n'; }
};

std::vector<int> allOf(const std::vector<Bridge>& bridges)
{
    std::vector<int> all(bridges.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    return all;
}

// Text columns padded to their widest cell.
void printTable(std::ostream& out, const std::vector<std::vector<QString>>& rows)
{
    std::vector<qsizetype> width;
    for (const auto& row : rows) {
        width.resize(std::max(width.size(), row.size()));
        for (size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    }
    for (const auto& row : rows) {
        QString line;
        for (size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(width[c] + 2) : row[c];
        out << str(line) << '\n';
    }
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Each bridge's lock while this program saves or updates it; a bridge another program holds
// fails alone, with nothing sent to it.
class Reservations {
public:
    Reservations(const FleetRun& run, std::vector<Bridge>& bridges)
        : m_port(run.network.devicePort), m_bridges(bridges), m_locks(bridges.size())
    {
    }
    bool take(int i)
    {
        auto lock = std::make_unique<BridgeLock>(m_bridges[i].ip, m_port);
        if (!lock->held()) {
            m_bridges[i].error = lock->refusal();
            return false;
        }
        m_locks[i] = std::move(lock);
        return true;
    }
    void release(int i) { m_locks[i].reset(); }

private:
    quint16 m_port;
    std::vector<Bridge>& m_bridges;
    std::vector<std::unique_ptr<BridgeLock>> m_locks;
};

int anyFailed(const std::vector<Bridge>& bridges)
{
    for (const Bridge& b : bridges)
        if (!b.error.isEmpty())
            return kDeviceFailed;
    return kSuccess;
}

} // namespace

QString AnswerTrouble(const DeviceAnswer& answer)
{
    if (answer.sharedAddress)
        return QStringLiteral("shares its address with another bridge");
    if (answer.sharedMac)
        return QStringLiteral("shares its MAC address with another bridge");
    return {};
}

// inventory --------------------------------------------------------------------------------------

int FleetInventory(const FleetRun& run, bool csv)
{
    Context ctx(run);
    if (!ctx.open())
        return kDeviceFailed;
    std::vector<Bridge> bridges = ctx.discover();
    ctx.readAll(bridges, allOf(bridges));

    const QStringList header{"name", "mac", "ip", "duplicate", "layout", "HdweVer", "BootVer", "FirmVer", "error"};
    auto cells = [](const Bridge& b) {
        const bool read = b.reply.has_value();
        return QStringList{b.name,
                           b.mac,
                           b.ip,
                           b.duplicate ? QStringLiteral("true") : QStringLiteral("false"),
                           read ? LayoutName(b.reply->layout) : QString(),
                           read ? b.reply->HdweVer : QString(),
                           read ? b.reply->BootVer : QString(),
                           read ? b.reply->FirmVer : QString(),
                           b.error};
    };
    if (run.json && !csv) { // --csv asks for this command's own output; --json is the tool's
        ordered_json list = ordered_json::array();
        for (const Bridge& b : bridges) {
            const bool read = b.reply.has_value();
            list.push_back({{"name", str(b.name)},
                            {"mac", str(b.mac)},
                            {"ip", str(b.ip)},
                            {"duplicate", b.duplicate},
                            {"layout", read ? jtext(LayoutName(b.reply->layout)) : nullptr},
                            {"HdweVer", read ? jtext(b.reply->HdweVer) : nullptr},
                            {"BootVer", read ? jtext(b.reply->BootVer) : nullptr},
                            {"FirmVer", read ? jtext(b.reply->FirmVer) : nullptr},
                            {"error", b.error.isEmpty() ? ordered_json(nullptr) : jtext(b.error)}});
        }
        ctx.printJson(list);
    } else if (csv) {
        run.out << str(header.join(QLatin1Char(','))) << "\r\n";
        for (const Bridge& b : bridges) {
            QStringList row = cells(b);
            for (QString& cell : row)
                cell = csvField(cell);
            run.out << str(row.join(QLatin1Char(','))) << "\r\n";
        }
    } else {
        std::vector<std::vector<QString>> rows{{header.begin(), header.end()}};
        for (const Bridge& b : bridges) {
            const QStringList row = cells(b);
            rows.emplace_back(row.begin(), row.end());
        }
        printTable(run.out, rows);
        run.out << bridges.size() << " bridges found\n";
    }
    return anyFailed(bridges);
}

// backup -----------------------------------------------------------------------------------------

int FleetBackup(const FleetRun& run, const QString& folder)
{
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        run.err << str(QStringLiteral("%1: not a folder that can be written").arg(folder)) << '\n';
        return kBadInputFile;
    }
    Context ctx(run);
    if (!ctx.open())
        return kDeviceFailed;
    std::vector<Bridge> bridges = ctx.discover();
    ctx.readAll(bridges, allOf(bridges));

    ordered_json index = ordered_json::array();
    int saved = 0;
    for (Bridge& b : bridges) {
        QString file;
        if (b.reply) {
            const QString name = b.key + QStringLiteral(".TALIX");
            // A link inside the folder is replaced, never written through: nothing outside changes.
            if (const std::optional<QString> failure = SaveSettingsFile(
                    JoinFolder(folder, name), FileValuesOf(ViewOfReply(*b.reply)), ReplaceMode::OwnerOnlyHere))
                b.error = QStringLiteral("the settings could not be saved: %1").arg(*failure);
            else
                file = name, ++saved;
        }
        index.push_back({{"mac", str(b.mac)},
                         {"ip", str(b.ip)},
                         {"name", str(b.name)},
                         {"file", jtext(file)},
                         {"layout", b.reply ? jtext(LayoutName(b.reply->layout)) : nullptr},
                         {"FirmVer", b.reply ? jtext(b.reply->FirmVer) : nullptr},
                         {"error", b.error.isEmpty() ? ordered_json(nullptr) : jtext(b.error)}});
    }
    const QString indexPath = JoinFolder(folder, QStringLiteral("index.json"));
    const QByteArray indexBytes = QByteArray::fromStdString(index.dump(2) + "\n");
    // Without the index the bridges' files still stand: each bridge's result is told all the same.
    const std::optional<QString> indexFailure = ReplaceRegularFile(indexPath, indexBytes, ReplaceMode::OwnerOnlyHere);
    if (run.json) {
        ctx.printJson(index);
    } else {
        std::vector<std::vector<QString>> rows;
        for (size_t i = 0; i < bridges.size(); ++i)
            rows.push_back({bridges[i].mac, bridges[i].ip,
                            bridges[i].error.isEmpty() ? QString::fromStdString(index[i]["file"].get<std::string>())
                                                       : bridges[i].error});
        printTable(run.out, rows);
        run.out << str(QStringLiteral("%1 of %2 bridges saved in %3").arg(saved).arg(bridges.size()).arg(folder))
                << '\n';
    }
    if (indexFailure) {
        run.err << str(QStringLiteral("%1: %2").arg(indexPath, *indexFailure)) << '\n';
        return kDeviceFailed;
    }
    return anyFailed(bridges);
}

// diff -------------------------------------------------------------------------------------------

namespace {

// A settings input read whole and judged before any device hears of it.
std::optional<QByteArray> readInput(const FleetRun& run, const QString& path,
                                    const std::function<QString(const QByteArray&)>& judge)
{
    const RegularFileRead file = ReadRegularFile(path, kMaxSettingsFileBytes);
    if (!file.bytes) {
        run.err << str(QStringLiteral("%1 cannot be read: %2.").arg(path, file.reason)) << '\n';
        return std::nullopt;
    }
    const QByteArray& bytes = *file.bytes;
    if (const QString problem = judge(bytes); !problem.isEmpty()) {
        run.err << str(QStringLiteral("%1: %2").arg(path, problem)) << '\n';
        return std::nullopt;
    }
    return bytes;
}

void tellNotCarried(const FleetRun& run, const QString& who, const QStringList& keys, SettingsLayout layout)
{
    for (const QString& key : keys)
        run.err << str(QStringLiteral("%1: \"%2\" is not sent: the device's settings (layout %3) do not carry it.")
                           .arg(who, key, LayoutName(layout)))
                << '\n';
}

} // namespace

int FleetDiff(const FleetRun& run, const QString& ip, const QString& path)
{
    bool json = true;
    const std::optional<QByteArray> bytes = readInput(run, path, [&](const QByteArray& b) {
        json = IsJsonSettings(path, b);
        return JudgeSettingsInput({b, json}).value_or(QString());
    });
    if (!bytes)
        return kBadInputFile;
    const SettingsInput input{*bytes, json};
    Context ctx(run);
    std::vector<Bridge> one(1);
    one[0].ip = ip;
    ctx.readAll(one, {0});
    if (!one[0].reply) {
        run.err << str(one[0].error) << '\n';
        return kDeviceFailed;
    }
    const SettingsLayout layout = one[0].reply->layout;
    const DeviceView current = ViewOfReply(*one[0].reply);
    const Merged merged = MergeSettings(current, layout, {input}, &*one[0].reply);
    if (merged.error) {
        run.err << str(*merged.error) << '\n';
        return kBadInputFile;
    }
    tellNotCarried(run, ip, merged.notCarried, layout);
    const DeviceSettings before = SettingsToSend(current), after = SettingsToSend(merged.view);
    const bool differs = BuildSaveCommand(before, layout) != BuildSaveCommand(after, layout);
    const std::vector<FieldChange> changes = differs ? SettingsChanges(before, after, layout) : std::vector<FieldChange>{};
    if (run.json)
        ctx.printJson({{"ip", str(ip)}, {"changes", ChangesJson(changes)}});
    else
        run.out << ChangesText(changes);
    return differs ? kChangesFound : kSuccess;
}

// apply ------------------------------------------------------------------------------------------

namespace {

// The bridges named by keys, in discovery order, then those not found in the order given.
std::vector<Bridge> namedBridges(const std::vector<Bridge>& found, const QStringList& keys)
{
    std::vector<Bridge> out;
    for (const Bridge& b : found)
        if (keys.contains(b.key))
            out.push_back(b);
    for (const QString& key : keys) {
        if (std::none_of(found.begin(), found.end(), [&](const Bridge& b) { return b.key == key; })) {
            Bridge missing;
            missing.key = key;
            missing.mac = MacDisplay(key);
            missing.error = kNotFound;
            out.push_back(missing);
        }
    }
    return out;
}

// What apply sends one bridge: its save command (empty: nothing to send) and what it changes.
struct ApplyPlan {
    QByteArray save;
    std::vector<FieldChange> changes;
};

// Every bridge's merged settings, judged before any of them is saved; nothing when the plan is
// refused for one of them (told on err).
std::optional<std::vector<ApplyPlan>> judgePlan(const FleetRun& run, const std::vector<Bridge>& bridges,
                                                const FleetPlan& plan, const QHash<QString, SettingsInput>& entries)
{
    std::vector<ApplyPlan> plans(bridges.size());
    bool refused = false;
    for (size_t i = 0; i < bridges.size(); ++i) {
        const Bridge& b = bridges[i];
        if (!b.reply)
            continue;
        const SettingsLayout layout = b.reply->layout;
        const DeviceView current = ViewOfReply(*b.reply);
        const Merged merged = MergeSettings(
            current, layout, {{plan.defaults, true, plan.defaultsLine}, entries.value(b.key)}, &*b.reply);
        const DeviceSettings before = SettingsToSend(current), after = SettingsToSend(merged.view);
        const QByteArray save = BuildSaveCommand(after, layout);
        // The plan itself contradicts the bridge (a read-only key): refused even when nothing changes.
        // A value the bridge holds outside the plan blocks only a change to this bridge.
        const bool planContradicts = merged.error && !merged.invalid;
        if (save == BuildSaveCommand(before, layout) && !planContradicts)
            continue;
        if (merged.error) {
            run.err << str(QStringLiteral("%1 %2: %3").arg(b.mac, b.ip, *merged.error)) << '\n';
            refused = true;
            continue;
        }
        tellNotCarried(run, b.mac, merged.notCarried, layout);
        plans[i] = {save, SettingsChanges(before, after, layout)};
    }
    if (refused)
        return std::nullopt;
    return plans;
}

// Saves one bridge, then restarts it when asked; done() follows either way.
void saveOne(Context& ctx, Bridge& b, const QByteArray& save, bool reboot, const std::function<void()>& done)
{
    const QHostAddress address(b.ip);
    auto saved = [&ctx, &b, reboot, address, done](const Outcome& outcome) {
        if (!outcome.ok()) {
            b.error = OutcomeText(outcome);
            return done();
        }
        if (!reboot)
            return done();
        Talk(CommandConversation::Reboot(ctx.link, address, &ctx.link), [&b, done](const Outcome& o) {
            if (!o.ok())
                b.error = QStringLiteral("saved, but the restart failed: %1").arg(OutcomeText(o));
            done();
        });
    };
    Talk(CommandConversation::Save(ctx.link, address, save, &ctx.link), saved);
}

// Sends every bridge with something to change its save, at most run.parallel at once.
void saveAll(Context& ctx, std::vector<Bridge>& bridges, const std::vector<ApplyPlan>& plans, bool reboot)
{
    std::vector<int> toSave;
    for (size_t i = 0; i < bridges.size(); ++i)
        if (!plans[i].save.isEmpty())
            toSave.push_back(int(i));
    for (int i : toSave)
        bridges[i].started = false;
    Reservations locks(ctx.run, bridges);
    runCrew(int(toSave.size()), ctx.run.parallel, ctx.interrupt, [&](int n, std::function<void()> crewDone) {
        const int i = toSave[n];
        bridges[i].started = true;
        if (!locks.take(i))
            return crewDone();
        // The bridge is kept from other programs from its save to its reboot.
        saveOne(ctx, bridges[i], plans[i].save, reboot, [&locks, i, crewDone] {
            locks.release(i);
            crewDone();
        });
    });
    for (int i : toSave)
        if (!bridges[i].started)
            bridges[i].error = kNotStarted;
}

// Each bridge's result and changes, then the counts; the exit status of the run.
int reportApply(Context& ctx, const std::vector<Bridge>& bridges, const std::vector<ApplyPlan>& plans, bool check)
{
    const FleetRun& run = ctx.run;
    int changed = 0, unchanged = 0, failed = 0;
    ordered_json devices = ordered_json::array();
    for (size_t i = 0; i < bridges.size(); ++i) {
        const Bridge& b = bridges[i];
        const char* result = !b.error.isEmpty() ? "failed" : plans[i].save.isEmpty() ? "unchanged" : "changed";
        (b.error.isEmpty() ? (plans[i].save.isEmpty() ? unchanged : changed) : failed)++;
        if (run.json) {
            devices.push_back({{"mac", str(b.mac)},
                               {"ip", b.ip.isEmpty() ? ordered_json(nullptr) : jtext(b.ip)},
                               {"result", result},
                               {"changes", ChangesJson(plans[i].changes)},
                               {"error", b.error.isEmpty() ? ordered_json(nullptr) : jtext(b.error)}});
        } else {
            run.out << str(b.mac) << ' ' << (b.ip.isEmpty() ? "-" : str(b.ip)) << ' '
                    << (check && !plans[i].save.isEmpty() && b.error.isEmpty() ? "would change" : result);
            if (!b.error.isEmpty())
                run.out << ": " << str(b.error);
            run.out << '\n' << ChangesText(plans[i].changes, "  ");
        }
    }
    if (run.json)
        ctx.printJson({{"devices", devices}, {"summary", {{"changed", changed}, {"unchanged", unchanged},
                                                          {"failed", failed}}}});
    else
        run.out << changed << (check ? " would change, " : " changed, ") << unchanged << " unchanged, " << failed
                << " failed\n";
    return failed > 0 || ctx.interrupt.isRaised() ? kDeviceFailed : kSuccess;
}

} // namespace

int FleetApply(const FleetRun& run, const QString& planPath, bool check, bool reboot)
{
    std::optional<FleetPlan> plan;
    if (!readInput(run, planPath, [&](const QByteArray& bytes) {
            PlanParse parsed = ParsePlan(bytes);
            plan = parsed.plan;
            return parsed.plan ? QString() : parsed.error;
        }))
        return kBadInputFile;

    Context ctx(run);
    if (!ctx.open())
        return kDeviceFailed;
    QStringList keys;
    QHash<QString, SettingsInput> entries;
    for (const PlanDevice& d : plan->devices) {
        keys << d.key;
        entries.insert(d.key, {d.settings, true, d.line});
    }
    std::vector<Bridge> bridges = namedBridges(ctx.discover(), keys);
    ctx.readAll(bridges, allOf(bridges));

    const std::optional<std::vector<ApplyPlan>> plans = judgePlan(run, bridges, *plan, entries);
    if (!plans) {
        run.err << str(QStringLiteral("%1: the plan was not applied; no bridge was changed.").arg(planPath)) << '\n';
        return kBadInputFile;
    }
    if (!check)
        saveAll(ctx, bridges, *plans, reboot);
    return reportApply(ctx, bridges, *plans, check);
}

// update-all -------------------------------------------------------------------------------------

namespace {

// One line on err for the whole run, redrawn at most ten times a second.
class Progress {
public:
    Progress(const FleetRun& run, int total) : m_run(run), m_total(total) { m_clock.start(); }
    void draw(int done, int running, qint64 bytes, qint64 of, bool force = false)
    {
        if (!m_run.progress || (!force && m_clock.elapsed() < 100))
            return;
        m_clock.restart();
        const int percent = of > 0 ? int(bytes * 100 / of) : 0;
        m_run.err << '\r'
                  << str(QStringLiteral("Updating: %1 of %2 bridges done, %3 in progress, %4 %   ")
                             .arg(done)
                             .arg(m_total)
                             .arg(running)
                             .arg(percent))
                  << std::flush;
        m_drawn = true;
    }
    ~Progress()
    {
        if (m_drawn)
            m_run.err << '\n';
    }

private:
    const FleetRun& m_run;
    int m_total;
    QElapsedTimer m_clock;
    bool m_drawn = false;
};

// The firmware file of `version` (empty: the newest) among those that fit; bootloader files take
// no part. Firmware files come first in the listing, newest first.
const UpdateFileInfo* chooseFirmware(const UpdateListing& listing, const QString& version)
{
    const int firmware = int(listing.files.size()) - listing.bootCount;
    for (int f = 0; f < firmware; ++f)
        if (version.isEmpty() || VersionText(listing.files[f].Version) == version)
            return &listing.files[f];
    return nullptr;
}

// Said of a bridge whose update failed between its erase and its last block.
QString erasedNote(UpdateConversation::Phase phase)
{
    using Phase = UpdateConversation::Phase;
    if (phase != Phase::WaitAfterErase && phase != Phase::Program)
        return QString();
    return QStringLiteral(" The bridge is now erased and only partly programmed, so it has no working firmware: run "
                          "the same update-all again (or talixctl update) to recover.");
}

// The MAC keys of --only, each once; nothing when one is not a MAC address (told on err).
std::optional<QStringList> onlyKeysOf(const FleetRun& run, const QStringList& only)
{
    QStringList keys;
    for (const QString& text : only) {
        const std::optional<QString> key = MacKey(text);
        if (!key) {
            run.err << str(QStringLiteral("--only: \"%1\" is not a MAC address").arg(text)) << '\n';
            return std::nullopt;
        }
        if (!keys.contains(*key))
            keys << *key;
    }
    return keys;
}

// Every update file of folder must be readable before any bridge is asked anything.
bool updateFolderReadable(const FleetRun& run, const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable()) {
        run.err << str(QStringLiteral("%1: not a folder that can be listed").arg(folder)) << '\n';
        return false;
    }
    std::optional<UpdateFileError> unreadable;
    ListUpdateFiles(folder, QStringLiteral("0.0"), QStringLiteral("0.0.0"), [&](const UpdateFileError& e) {
        unreadable = e;
        return false;
    });
    if (unreadable) {
        run.err << str(QStringLiteral("%1: %2").arg(folder, unreadable->description)) << '\n';
        return false;
    }
    return true;
}

enum class Result { Updated, Unchanged, Skipped, Failed };
const char* const kResultNames[] = {"updated", "unchanged", "skipped", "failed"};

// What update-all does with one bridge: the version it brings it to and from which file.
struct UpdateRow {
    Result result = Result::Failed;
    QString to;
    QString file;
};

// The update files some bridge needs, by file name, loaded whole.
using UpdateFiles = std::map<QString, std::optional<UpdateFile>>;

// The row of one bridge that was read; a folder it cannot list fails it.
UpdateRow chooseUpdate(Bridge& b, const QString& folder, const UpdateTarget& target)
{
    std::optional<UpdateFileError> error;
    const UpdateListing listing =
        ListUpdateFiles(folder, b.reply->HdweVer, b.reply->BootVer, [&](const UpdateFileError& e) {
            error = e;
            return false;
        });
    if (error) {
        b.error = error->description;
        return {};
    }
    const UpdateFileInfo* chosen = chooseFirmware(listing, target.version);
    if (!chosen)
        return {Result::Skipped, {}, {}};
    // Numbers, not texts ("1.0.9" sorts after "1.0.11"), and only the version's own bits: a
    // file at 1.0.19 with its upper byte set is older than a bridge at 1.0.21.
    const qint32 running = VersionNumber(b.reply->versions.FirmVersion);
    const qint32 wanted = VersionNumber(chosen->Version);
    const bool needed = target.version.isEmpty() ? running < wanted : running != wanted;
    if (!needed && !(target.force && running == wanted))
        return {Result::Unchanged, b.reply->FirmVer, {}};
    return {Result::Updated, VersionText(chosen->Version), chosen->FileName};
}

// Every bridge's row; the files the updates need are named in files.
std::vector<UpdateRow> chooseUpdates(std::vector<Bridge>& bridges, const QString& folder, const UpdateTarget& target,
                                     UpdateFiles& files)
{
    std::vector<UpdateRow> rows(bridges.size());
    for (size_t i = 0; i < bridges.size(); ++i) {
        if (!bridges[i].reply)
            continue;
        rows[i] = chooseUpdate(bridges[i], folder, target);
        if (rows[i].result == Result::Updated)
            files[rows[i].file];
    }
    return rows;
}

// Loads every file named in files whole; one that cannot be loaded stops the run (told on err).
bool loadUpdateFiles(const FleetRun& run, const QString& folder, UpdateFiles& files)
{
    for (auto& [name, file] : files) {
        const UpdateFileResult loaded = LoadUpdateFile(JoinFolder(folder, name));
        if (!loaded.file) {
            run.err << str(QStringLiteral("%1: %2; no bridge was updated.").arg(name, loaded.error.description))
                    << '\n';
            return false;
        }
        file = loaded.file;
    }
    return true;
}

// Updates every bridge whose row says so, at most run.parallel at once, with the run's progress.
void updateAll(Context& ctx, std::vector<Bridge>& bridges, const std::vector<UpdateRow>& rows, UpdateFiles& files)
{
    std::vector<int> toUpdate;
    for (size_t i = 0; i < bridges.size(); ++i)
        if (bridges[i].error.isEmpty() && rows[i].result == Result::Updated)
            toUpdate.push_back(int(i));
    std::vector<UpdateConversation*> running;
    qint64 total = 0;
    for (int i : toUpdate)
        total += files[rows[i].file]->header.TotalBytes;
    qint64 finishedBytes = 0;
    int finished = 0;
    Progress progress(ctx.run, int(toUpdate.size()));
    auto draw = [&](bool force) {
        qint64 bytes = finishedBytes;
        for (UpdateConversation* u : running)
            bytes += u->bytesDone();
        progress.draw(finished, int(running.size()), bytes, total, force);
    };
    for (int i : toUpdate)
        bridges[i].started = false;
    Reservations locks(ctx.run, bridges);
    runCrew(int(toUpdate.size()), ctx.run.parallel, ctx.interrupt, [&](int n, std::function<void()> done) {
        Bridge& b = bridges[toUpdate[n]];
        b.started = true;
        if (!locks.take(toUpdate[n]))
            return done();
        const UpdateFile& file = *files[rows[toUpdate[n]].file];
        auto* u = new UpdateConversation(ctx.link, QHostAddress(b.ip), file, UpdateConversation::Target::Firmware,
                                         b.reply->versions.FirmVersion == 0, &ctx.link);
        u->setTimings(UpdateTimings(ctx.run.speedup));
        running.push_back(u);
        QObject::connect(u, &UpdateConversation::progress, u, [&] { draw(false); });
        Talk(u, [&, u, done, i = toUpdate[n]](const Outcome& o) {
            std::erase(running, u);
            locks.release(i);
            finishedBytes += u->bytesDone();
            ++finished;
            if (!o.ok())
                b.error = OutcomeText(o) + erasedNote(u->phase());
            draw(true);
            done();
        });
    });
    for (int i : toUpdate)
        if (!bridges[i].started)
            bridges[i].error = kNotStarted;
}

// Each bridge's versions and result, then the counts; the exit status of the run.
int reportUpdates(Context& ctx, const std::vector<Bridge>& bridges, const std::vector<UpdateRow>& rows, bool check)
{
    const FleetRun& run = ctx.run;
    std::map<Result, int> counts;
    ordered_json devices = ordered_json::array();
    std::vector<std::vector<QString>> table;
    for (size_t i = 0; i < bridges.size(); ++i) {
        const Bridge& b = bridges[i];
        const Result result = b.error.isEmpty() ? rows[i].result : Result::Failed;
        ++counts[result];
        const QString from = b.reply ? b.reply->FirmVer : QString();
        const QString to = rows[i].to;
        if (run.json) {
            devices.push_back({{"mac", str(b.mac)},
                               {"ip", b.ip.isEmpty() ? ordered_json(nullptr) : jtext(b.ip)},
                               {"from", jtext(from)},
                               {"to", jtext(to)},
                               {"result", kResultNames[int(result)]},
                               {"error", b.error.isEmpty() ? ordered_json(nullptr) : jtext(b.error)}});
        } else {
            QString what = QString::fromLatin1(kResultNames[int(result)]);
            if (check && result == Result::Updated)
                what = QStringLiteral("would update");
            if (!b.error.isEmpty())
                what += QStringLiteral(": ") + b.error;
            table.push_back({b.mac, b.ip.isEmpty() ? QStringLiteral("-") : b.ip,
                             from.isEmpty() ? QStringLiteral("-") : from, to.isEmpty() ? QStringLiteral("-") : to,
                             what});
        }
    }
    if (run.json) {
        ordered_json summary;
        for (int r = 0; r < 4; ++r)
            summary[kResultNames[r]] = counts[Result(r)];
        ctx.printJson({{"devices", devices}, {"summary", summary}});
    } else {
        printTable(run.out, table);
        run.out << counts[Result::Updated] << (check ? " would be updated, " : " updated, ")
                << counts[Result::Unchanged] << " unchanged, " << counts[Result::Skipped] << " skipped, "
                << counts[Result::Failed] << " failed\n";
    }
    return counts[Result::Failed] > 0 || ctx.interrupt.isRaised() ? kDeviceFailed : kSuccess;
}

} // namespace

int FleetUpdateAll(const FleetRun& run, const QString& folder, bool check, const QStringList& only,
                   const UpdateTarget& target)
{
    const std::optional<QStringList> onlyKeys = onlyKeysOf(run, only);
    if (!onlyKeys)
        return kUsageError;
    if (!updateFolderReadable(run, folder))
        return kBadInputFile;

    Context ctx(run);
    if (!ctx.open())
        return kDeviceFailed;
    std::vector<Bridge> bridges = ctx.discover();
    if (!only.isEmpty())
        bridges = namedBridges(bridges, *onlyKeys);
    ctx.readAll(bridges, allOf(bridges));

    UpdateFiles files;
    const std::vector<UpdateRow> rows = chooseUpdates(bridges, folder, target, files);
    if (!loadUpdateFiles(run, folder, files))
        return kBadInputFile;
    if (!check)
        updateAll(ctx, bridges, rows, files);
    return reportUpdates(ctx, bridges, rows, check);
}

} // namespace talixctl

#include "fleetcommands.moc"
