#include "talixctl.h"

#include "common/bridgelock.h"
#include "engine/commandconversation.h"
#include "conversations.h"
#include "discovery/devicelist.h"
#include "engine/discoverconversation.h"
#include "engine/outcomewords.h"
#include "discovery/discoverytexts.h"
#include "fleetcommands.h"
#include "fleetplan.h"
#include "interrupts.h"
#include "config/maccommand.h"
#include "ui/networksettings.h"
#include "common/nxfns.h"
#include "common/regularfile.h"
#include "discovery/searchtarget.h"
#include "config/settingscheck.h"
#include "config/settingsfile.h"
#include "settingsjson.h"
#include "settingsview.h"
#include "update/updatefile.h"
#include "update/updatelist.h"
#include "common/version.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <functional>
#include <optional>
#include <utility>

namespace talixctl {

using namespace brevion;
using nlohmann::ordered_json;

namespace {

struct Io {
    std::ostream& out;
    std::ostream& err;
    DeviceLink& link; // the run's one link
    bool json = false;
    RunOptions run;
};

std::string str(const QString& text) { return text.toStdString(); }

// Line n of the window's box for an accepted save: 0 the save, 1 the restart it needs.
QString savedLine(int n) { return SavedWords().text.section(kCrLf, n, n); }
QString rebootingText() { return PlainText({QString(), RebootingWords().text}); }

// The conversations with one device over the run's link, which holds the local port from the
// first conversation to the end of the run: another program cannot take it in between and leave
// an erased device unreachable. A command that is not accepted is told on err.
class OneDevice {
public:
    // Change: the device is taken for a change (a save, restart, MAC programming or update), so
    // every other program is kept away from it (BridgeLock) for as long as this object lives.
    enum class Use { Read, Change };

    OneDevice(const QString& ip, Io& io, Use use = Use::Read)
        : m_ip(ip), m_address(ip), m_io(io), m_link(io.link)
    {
        if (use == Use::Change) {
            m_lock.emplace(ip, Network().devicePort);
            if (!m_lock->held()) {
                m_io.err << str(m_lock->refusal()) << '\n';
                return;
            }
        }
        // A port that cannot be bound is told by the first conversation.
        m_link.open();
    }

    // False when another program holds the device: nothing may be sent (the refusal was told).
    bool ours() const { return !m_lock || m_lock->held(); }

    DeviceLink& link() { return m_link; }
    QHostAddress address() const { return m_address; }

    Outcome run(Conversation& conversation)
    {
        const Outcome outcome = RunToEnd(conversation);
        if (!outcome.ok())
            m_io.err << str(PlainText(CommandWords(outcome, m_ip))) << '\n';
        return outcome;
    }

    std::optional<SettingsReply> read()
    {
        std::unique_ptr<CommandConversation> read(CommandConversation::Read(m_link, m_address));
        if (RunToEnd(*read).code == Outcome::Code::CorruptReply && !read->reply()) {
            m_io.err << "The device did not answer with its settings.\n";
            return std::nullopt;
        }
        if (!read->outcome().ok()) {
            m_io.err << str(PlainText(CommandWords(read->outcome(), m_ip))) << '\n';
            return std::nullopt;
        }
        return read->reply();
    }

    // A save, restart or MAC programming command.
    Outcome run(CommandConversation* command)
    {
        const std::unique_ptr<CommandConversation> owned(command);
        return run(*owned);
    }

private:
    QString m_ip;
    QHostAddress m_address;
    Io& m_io;
    DeviceLink& m_link;
    std::optional<BridgeLock> m_lock;
};

void printJson(Io& io, const ordered_json& value) { io.out << value.dump(2) << '\n'; }

// Addresses on the command line follow the program's one rule (IsValidIP). CLI11's own check lets
// 127.0.0.010 through, which the system's reading takes as octal: another device.
const CLI::Validator kDottedAddress(
    [](std::string& text) {
        return IsValidIP(QString::fromStdString(text))
                   ? std::string()
                   : "not a dotted address (four numbers 0 to 255 without leading zeros): " + text;
    },
    "IPV4");

// Where --at searches: an address or a range of at most /16, read by the same strict rule.
const CLI::Validator kSearchTarget(
    [](std::string& text) {
        QString problem;
        return ParseSearchTarget(QString::fromStdString(text), &problem) ? std::string() : problem.toStdString();
    },
    "");

QString fileErrorText(const UpdateFileError& error)
{
    return QStringLiteral("Update File Error: %1 %2").arg(error.number).arg(error.description);
}

// discover ---------------------------------------------------------------------------------------

int discover(Io& io, const std::vector<SearchTarget>& at)
{
    DiscoverConversation search(io.link);
    search.searchAt(at);
    if (const Outcome outcome = RunToEnd(search); !outcome.ok()) {
        io.err << str(SearchWords(outcome)) << '\n';
        return kDeviceFailed;
    }
    if (const QString note = UnsentNote(search); !note.isEmpty())
        io.err << str(note) << '\n';
    // Every address that answered: a MAC at two addresses is two bridges here, unlike the window.
    const std::vector<DeviceAnswer> answers = search.devices().Answers();
    if (io.json) {
        ordered_json list = ordered_json::array();
        for (const DeviceAnswer& a : answers) {
            const QString trouble = AnswerTrouble(a);
            list.push_back({{"name", str(a.device.name)},
                            {"mac", str(a.device.mac)},
                            {"ip", str(a.device.ip)},
                            {"duplicate", a.sharedAddress},
                            {"error", trouble.isEmpty() ? ordered_json(nullptr) : ordered_json(str(trouble))}});
        }
        printJson(io, list);
        return kSuccess;
    }
    if (!answers.empty()) {
        const QString headers[3] = {QStringLiteral("Device Name"), QStringLiteral("MAC Address"),
                                    QStringLiteral("IP Address")};
        qsizetype width[2] = {headers[0].size(), headers[1].size()};
        for (const DeviceAnswer& a : answers) {
            width[0] = std::max(width[0], a.device.name.size());
            width[1] = std::max(width[1], a.device.mac.size() + (a.sharedMac ? 4 : 0));
        }
        auto row = [&](const QString& a, const QString& b, const QString& c) {
            io.out << str(a.leftJustified(width[0] + 2) + b.leftJustified(width[1] + 2) + c) << '\n';
        };
        row(headers[0], headers[1], headers[2]);
        for (const DeviceAnswer& a : answers)
            row(a.device.name, a.sharedMac ? QStringLiteral("* %1 *").arg(a.device.mac) : a.device.mac,
                a.sharedAddress ? MarkedIP(a.device.ip) : a.device.ip);
        if (std::ranges::any_of(answers, &DeviceAnswer::sharedAddress))
            io.out << str(DuplicatesText()) << '\n';
        if (std::ranges::any_of(answers, &DeviceAnswer::sharedMac))
            io.out << "* Duplicate MAC addresses found!  Give each of those bridges its own (set-mac); until then the "
                      "fleet commands leave them alone.\n";
    }
    io.out << str(answers.empty() ? NoneFoundText() : CountText(int(answers.size()))) << '\n';
    return kSuccess;
}

// read -------------------------------------------------------------------------------------------

int read(Io& io, const QString& ip, const QString& saveTo)
{
    OneDevice device(ip, io);
    const std::optional<SettingsReply> reply = device.read();
    if (!reply)
        return kDeviceFailed;
    if (io.json)
        printJson(io, SettingsToJson(*reply));
    else
        io.out << str(SettingsListing(*reply));
    if (!saveTo.isEmpty()) {
        if (const std::optional<QString> failure = SaveSettingsFile(saveTo, FileValuesOf(ViewOfReply(*reply)))) {
            io.err << str(QStringLiteral("The settings could not be saved to %1: %2").arg(saveTo, *failure)) << '\n';
            return kBadInputFile;
        }
        if (!io.json)
            io.out << str(QStringLiteral("Settings were successfully saved to:") + QLatin1Char('\n') + saveTo) << '\n';
    }
    return kSuccess;
}

// reboot -----------------------------------------------------------------------------------------

int reboot(Io& io, const QString& ip)
{
    // A restart in the middle of another program's update or save would cut it short.
    OneDevice device(ip, io, OneDevice::Use::Change);
    if (!device.ours())
        return kDeviceFailed;
    if (!device.run(CommandConversation::Reboot(device.link(), device.address())).ok())
        return kDeviceFailed;
    if (io.json)
        printJson(io, {{"ip", str(ip)}, {"rebooting", true}});
    else
        io.out << str(rebootingText()) << '\n';
    return kSuccess;
}

// write ------------------------------------------------------------------------------------------

int write(Io& io, const QString& ip, const QString& path, bool rebootAfter)
{
    const RegularFileRead file = ReadRegularFile(path, kMaxSettingsFileBytes);
    if (!file.bytes) {
        io.err << str(QStringLiteral("%1 cannot be read: %2.").arg(path, file.reason)) << '\n';
        return kBadInputFile;
    }
    const SettingsInput input{*file.bytes, IsJsonSettings(path, *file.bytes)};

    // The whole file is judged before the device hears anything; values are judged against the
    // device's own settings once they are known.
    auto badFile = [&](const QString& reason, int line = 0) {
        io.err << str(line > 0 ? QStringLiteral("%1, line %2: %3").arg(path).arg(line).arg(reason)
                               : QStringLiteral("%1: %2").arg(path, reason))
               << '\n';
        return kBadInputFile;
    };
    if (input.json) {
        SettingsEntry entry;
        DeviceSettings settings;
        if (const JsonApplied trial = ApplySettingsJson(input.bytes, SettingsLayout::Login, entry, settings);
            trial.error)
            return badFile(*trial.error);
    } else if (const SettingsFileDecode decoded = DecodeSettingsFile(input.bytes, SettingsFileValues{});
               !decoded.values) {
        return badFile(decoded.reason, decoded.line);
    }

    OneDevice device(ip, io, OneDevice::Use::Change);
    if (!device.ours())
        return kDeviceFailed;
    const std::optional<SettingsReply> reply = device.read();
    if (!reply)
        return kDeviceFailed;
    const SettingsLayout layout = reply->layout;
    const Merged merged = MergeSettings(ViewOfReply(*reply), layout, {input}, &*reply);
    for (const QString& key : merged.notCarried)
        io.err << str(QStringLiteral("\"%1\" is not sent: the device's settings (layout %2) do not carry it.")
                          .arg(key, LayoutName(layout)))
               << '\n';
    if (merged.invalid) {
        io.err << str(InvalidValueTitle() + QStringLiteral(": ") +
                      InvalidValueText(*merged.invalid).replace(QStringLiteral("\r\n"), QStringLiteral("\n")))
               << '\n';
        return kBadInputFile;
    }
    if (merged.error)
        return badFile(*merged.error);

    if (!device.run(CommandConversation::Save(device.link(), device.address(),
                                              BuildSaveCommand(SettingsToSend(merged.view), layout)))
             .ok())
        return kDeviceFailed;
    const bool rebooting =
        rebootAfter && device.run(CommandConversation::Reboot(device.link(), device.address())).ok();
    if (io.json) {
        printJson(io, {{"ip", str(ip)}, {"layout", str(LayoutName(layout))}, {"saved", true}, {"rebooting", rebooting}});
    } else {
        io.out << str(rebootAfter ? savedLine(0) : savedLine(0) + QLatin1Char('\n') + savedLine(1)) << '\n';
        if (rebooting)
            io.out << str(rebootingText()) << '\n';
    }
    return rebootAfter && !rebooting ? kDeviceFailed : kSuccess;
}

// set-mac ----------------------------------------------------------------------------------------

int setMac(Io& io, const QString& ip, const QString& suffix)
{
    const MacEntryProblem problem = CheckMacEntry(suffix.toUpper());
    if (problem != MacEntryProblem::None) {
        io.err << str(MacEntryMessage(problem)) << '\n';
        return kUsageError;
    }
    const MacBytes address = *MacAddressFromEntry(suffix.toUpper());
    quint8 bytes[6];
    std::copy(address.begin(), address.end(), bytes);
    const QString mac = MacText(bytes);

    OneDevice device(ip, io, OneDevice::Use::Change);
    if (!device.ours())
        return kDeviceFailed;
    const std::unique_ptr<CommandConversation> program(
        CommandConversation::ProgramMac(device.link(), device.address(), address));
    if (!device.run(*program).ok()) {
        // The second step is the restart that makes the address the device's own.
        if (program->step() == 1)
            io.err << str(QStringLiteral("The device took the MAC address %1, but did not confirm its restart.")
                              .arg(mac))
                   << '\n';
        return kDeviceFailed;
    }
    if (io.json)
        printJson(io, {{"ip", str(ip)}, {"mac", str(mac)}, {"restarting", true}});
    else
        io.out << str(QStringLiteral("The device's MAC address is now %1; it is restarting.").arg(mac)) << '\n';
    return kSuccess;
}

// updates ----------------------------------------------------------------------------------------

struct Listing {
    UpdateListing found;
    std::optional<UpdateFileError> error;
};

// The update files in folder that fit the device, as the update window lists them.
Listing listUpdateFiles(const QString& folder, const QString& hdweVer, const QString& bootVer)
{
    Listing listing;
    listing.found = ListUpdateFiles(folder, hdweVer, bootVer, [&listing](const UpdateFileError& error) {
        listing.error = error;
        return false;
    });
    return listing;
}

int updates(Io& io, const QString& folder, const QString& ip)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable()) {
        io.err << str(QStringLiteral("%1: not a folder that can be listed").arg(folder)) << '\n';
        return kBadInputFile;
    }
    OneDevice device(ip, io);
    const std::optional<SettingsReply> reply = device.read();
    if (!reply)
        return kDeviceFailed;
    const Listing listing = listUpdateFiles(folder, reply->HdweVer, reply->BootVer);
    if (listing.error) {
        io.err << str(fileErrorText(*listing.error)) << '\n';
        return kBadInputFile;
    }
    const int firmCount = int(listing.found.files.size()) - listing.found.bootCount;
    if (io.json) {
        ordered_json firmware = ordered_json::array(), boot = ordered_json::array();
        for (int i = 0; i < int(listing.found.files.size()); ++i) {
            const UpdateFileInfo& f = listing.found.files[i];
            (i < firmCount ? firmware : boot)
                .push_back({{"file", str(f.FileName)}, {"version", str(VersionText(f.Version))},
                            {"line", str(UpdateListLine(f))}});
        }
        printJson(io, {{"HdweVer", str(reply->HdweVer)},
                       {"BootVer", str(reply->BootVer)},
                       {"FirmVer", str(reply->FirmVer)},
                       {"firmware", firmware},
                       {"bootloader", boot}});
        return kSuccess;
    }
    if (listing.found.files.empty()) {
        io.out << "No update files were found.\n";
        return kSuccess;
    }
    io.out << "Firmware:\n";
    if (firmCount == 0)
        io.out << "  No Firmware update files were found.\n";
    for (int i = 0; i < firmCount; ++i)
        io.out << "  " << str(UpdateListLine(listing.found.files[i])) << '\n';
    io.out << "Bootloader:\n";
    if (listing.found.bootCount == 0)
        io.out << "  No Bootloader update files were found.\n";
    for (int i = firmCount; i < int(listing.found.files.size()); ++i)
        io.out << "  " << str(UpdateListLine(listing.found.files[i])) << '\n';
    return kSuccess;
}

// update -----------------------------------------------------------------------------------------

// The update's phase and percentage on one line of err, redrawn in place (a terminal only).
class StatusLine {
public:
    explicit StatusLine(Io& io) : m_io(io)
    {
        m_ticker.setInterval(100);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { percent(m_phaseClock.elapsed() / 1000.0, m_seconds); });
    }
    ~StatusLine() { finish(); }
    // The line is closed; what follows starts on a line of its own.
    void finish()
    {
        m_ticker.stop();
        show(QString());
    }

    void phase(UpdateConversation::Phase phase, bool firmwareErased)
    {
        using Phase = UpdateConversation::Phase;
        // The waits have no measure but time: the bar fills over the longest they may last.
        m_seconds = phase == Phase::Erase ? (firmwareErased ? 4 : 25) : 27;
        if (phase == Phase::Erase)
            show(QStringLiteral("Erasing Firmware . . ."));
        else if (phase == Phase::Program)
            show(QStringLiteral("Programming Firmware . . ."));
        else if (phase == Phase::Restart)
            show(QStringLiteral("Rebooting device . . ."));
        else if (phase == Phase::Done)
            show(QString());
        if (phase == Phase::Erase || phase == Phase::Restart) {
            m_phaseClock.start();
            m_ticker.start();
        } else if (phase == Phase::Program || phase == Phase::Done) {
            m_ticker.stop();
        }
    }
    void percent(double position, double maximum)
    {
        if (!m_io.run.progress || maximum <= 0 || m_status.isEmpty())
            return;
        const int percent = int(std::clamp(position / maximum, 0.0, 1.0) * 100.0 + 0.5);
        m_io.err << '\r' << str(m_status) << ' ' << percent << "%   " << std::flush;
    }
    // Something else is told on err: it starts on a line of its own.
    void interject()
    {
        if (m_io.run.progress)
            m_io.err << '\n';
    }

private:
    void show(const QString& status)
    {
        if (m_io.run.progress && !m_status.isEmpty())
            m_io.err << '\n';
        m_status = status;
        if (m_io.run.progress && !m_status.isEmpty())
            m_io.err << '\r' << str(m_status) << std::flush;
    }

    Io& m_io;
    QString m_status;
    QTimer m_ticker;
    QElapsedTimer m_phaseClock;
    double m_seconds = 0;
};

// What an update that stopped (or failed) in its present phase has left on the device, and how
// to recover; empty when it failed before the erase was accepted or after every block.
QString leftBehind(const UpdateConversation& update, bool stopped, const QString& ip, const QString& path, bool boot)
{
    using Phase = UpdateConversation::Phase;
    const Phase phase = update.phase();
    const QString ended = stopped ? QStringLiteral("was stopped") : QStringLiteral("failed");
    const QString part = boot ? QStringLiteral("bootloader") : QStringLiteral("firmware");
    QString state;
    if (phase == Phase::Erase && stopped)
        state = QStringLiteral("The update was stopped during the erase: the device may already be without firmware.");
    else if (phase == Phase::WaitAfterErase)
        state = QStringLiteral("The update %1 after the erase: the device is erased and nothing was programmed, so it "
                               "has no working %2.")
                    .arg(ended, part);
    else if (phase == Phase::Program)
        state = QStringLiteral("The update %1 after %2 of %3 bytes were programmed: the device is erased and only "
                               "partly programmed, so it has no working %4.")
                    .arg(ended)
                    .arg(update.bytesDone())
                    .arg(update.totalBytes())
                    .arg(part);
    else if (phase != Phase::Erase && stopped)
        state = QStringLiteral("The update was stopped while the device restarted: every block was programmed, but "
                               "the restart was not confirmed.");
    if (state.isEmpty())
        return state;
    return state + QStringLiteral(" To recover, run the same update again (talixctl update %1 %2%3).")
                       .arg(ip, path, boot ? QStringLiteral(" --boot") : QString());
}

// Nothing (0) when the update file was read whole and is of the kind asked for; otherwise the exit
// status, told on err. Every record lies inside the device's memory: a device erased and then
// left half programmed has no firmware.
int checkUpdateFile(Io& io, const UpdateFileResult& loaded, const QString& path, bool boot)
{
    if (!loaded.file) {
        io.err << str(path) << ": " << str(fileErrorText(loaded.error)) << '\n';
        return kBadInputFile;
    }
    const QString fileName = QFileInfo(path).fileName();
    if (IsBootFile(fileName) != boot) {
        io.err << str(boot ? QStringLiteral("%1 is not a bootloader update file (its name does not contain \"BOOT\").")
                                 .arg(fileName)
                           : QStringLiteral("%1 is a bootloader update file: add --boot to program the bootloader "
                                            "(this erases the firmware).")
                                 .arg(fileName))
               << '\n';
        return kUsageError;
    }
    return kSuccess;
}

// Whether the file fits the device's hardware and bootloader; tells err when it does not.
bool fitsDevice(Io& io, const UpdateFile& file, const QString& fileName, const SettingsReply& reply)
{
    const std::optional<qint32> hardware = HardwareVersionNumber(reply.HdweVer);
    const std::optional<qint32> bootloader = BootloaderVersionNumber(reply.BootVer);
    if (hardware && bootloader && FitsDevice(file.header, fileName, *hardware, *bootloader))
        return true;
    io.err << str(QStringLiteral("%1 does not fit the device (hardware %2, bootloader %3); nothing was sent.")
                      .arg(fileName, reply.HdweVer, reply.BootVer))
           << '\n';
    return false;
}

// The update's phases and progress on the status line; a refused step on err.
void watchUpdate(Io& io, UpdateConversation& update, StatusLine& status, const QString& ip, bool erased)
{
    QObject::connect(&update, &UpdateConversation::phaseChanged,
                     [&status, erased](UpdateConversation::Phase phase) { status.phase(phase, erased); });
    QObject::connect(&update, &UpdateConversation::progress,
                     [&status](qint64 done, qint64 total) { status.percent(double(done), double(total)); });
    QObject::connect(&update, &UpdateConversation::refused, [&io, &status, ip] {
        status.interject();
        io.err << str(PlainText(CommandWords({Outcome::Code::Refused, {}}, ip))) << '\n';
    });
}

// From the erase on, an interrupted update leaves the device without firmware: the first SIGINT
// or SIGTERM only warns, the second stops and says what is left to do. A hangup (the terminal or
// SSH session gone) never stops it: nobody is left to decide, and it may come twice.
std::function<void(int)> updateInterrupts(Io& io, UpdateConversation& update, StatusLine& status, const QString& ip)
{
    return [&io, &update, &status, ip, interruptsSeen = 0, hungUp = false](int signal) mutable {
        status.interject();
        if (signal == SIGHUP) {
            if (!std::exchange(hungUp, true))
                io.err << str(QStringLiteral("The terminal has gone: the update of %1 goes on to its end.").arg(ip))
                       << '\n';
        } else if (++interruptsSeen == 1) {
            io.err << str(QStringLiteral("An update of %1 is in progress: stopping now leaves the device without "
                                         "firmware. The update goes on; interrupt again to stop it anyway.")
                              .arg(ip))
                   << '\n';
        } else if (interruptsSeen == 2) {
            update.cancel();
        }
    };
}

// What an update asked for: the device, the file and its kind.
struct UpdateAsked {
    QString ip;
    QString path;
    bool boot = false;
};

// How the update ended, on err when it failed and on out (or as JSON) when it programmed the
// device; the exit status.
int reportUpdate(Io& io, const UpdateConversation& update, const Outcome& outcome, const UpdateFile& file,
                 const UpdateAsked& asked)
{
    using Phase = UpdateConversation::Phase;
    const Phase phase = update.phase();
    const bool programmed = phase == Phase::Restart || phase == Phase::WaitAfterRestart || phase == Phase::Done;
    if (outcome.code == Outcome::Code::Cancelled) {
        io.err << str(leftBehind(update, true, asked.ip, asked.path, asked.boot)) << '\n';
        return kDeviceFailed;
    }
    if (outcome.code == Outcome::Code::VersionMismatch) {
        // The device came back, but not with the file's version: the update did not take.
        io.err << str(PlainText(VersionNotTakenWords(asked.boot, file.header.Version, *update.versions()))) << '\n';
    } else if (!outcome.ok()) {
        // A datagram that could not leave is told as for any command, with the device's address.
        const std::optional<Message> ending =
            outcome.code == Outcome::Code::SendFailed ? std::nullopt : UpdateWords(outcome, update.phase());
        io.err << str(PlainText(ending.value_or(CommandWords(outcome, asked.ip)))) << '\n';
        if (const QString left = leftBehind(update, false, asked.ip, asked.path, asked.boot); !left.isEmpty())
            io.err << str(left) << '\n';
    }
    if (!programmed)
        return kDeviceFailed;

    const bool restarted = outcome.ok() || outcome.code == Outcome::Code::VersionMismatch;
    if (io.json) {
        printJson(io, {{"ip", str(asked.ip)},
                       {"file", str(QFileInfo(asked.path).fileName())},
                       {"kind", asked.boot ? "bootloader" : "firmware"},
                       {"version", str(VersionText(file.header.Version))},
                       {"restarted", restarted},
                       {"versionConfirmed", outcome.ok()}});
    } else if (outcome.ok()) {
        io.out << "Update was completed successfully.\n";
    }
    return outcome.ok() ? kSuccess : kRestartUnconfirmed;
}

int update(Io& io, const QString& ip, const QString& path, bool boot)
{
    // The whole file is read and checked before the device is touched.
    const UpdateFileResult loaded = LoadUpdateFile(path);
    if (const int refused = checkUpdateFile(io, loaded, path, boot))
        return refused;
    const UpdateFile& file = *loaded.file;

    // No other program may update or configure the device meanwhile.
    OneDevice device(ip, io, OneDevice::Use::Change);
    if (!device.ours())
        return kDeviceFailed;
    const std::optional<SettingsReply> reply = device.read();
    if (!reply)
        return kDeviceFailed;
    if (!fitsDevice(io, file, QFileInfo(path).fileName(), *reply))
        return kBadInputFile;

    const bool erased = reply->versions.FirmVersion == 0;
    UpdateConversation update(device.link(), device.address(), file,
                              boot ? UpdateConversation::Target::Bootloader : UpdateConversation::Target::Firmware,
                              erased);
    update.setTimings(UpdateTimings(io.run.speedup));
    StatusLine status(io);
    watchUpdate(io, update, status, ip, erased);
    const Interrupts interrupts(updateInterrupts(io, update, status, ip));
    const Outcome outcome = RunToEnd(update);
    status.finish();
    return reportUpdate(io, update, outcome, file, {ip, path, boot});
}

// command line -----------------------------------------------------------------------------------

const char* const kExamples = R"(Examples:
  talixctl discover
  talixctl --json discover
  talixctl --at 10.1.2.0/24 --at 10.9.0.20 discover
  talixctl read 192.168.1.20 --save bridge.TALIX
  talixctl write 192.168.1.21 bridge.TALIX --reboot
  talixctl reboot 192.168.1.20
  talixctl set-mac 192.168.1.20 5A3ABC
  talixctl updates ~/talix-updates --device 192.168.1.20
  talixctl update 192.168.1.20 ~/talix-updates/FIRM1017.bin
  talixctl inventory --csv
  talixctl backup ~/talix-backup
  talixctl diff 192.168.1.20 bridge.TALIX
  talixctl --json apply plan.json --check
  talixctl update-all ~/talix-updates --only 00:50:C2-5A:30:00,0050C25A3001

Exit status: 0 success; 1 the device did not answer in time, answered "N" or sent a corrupt
reply (or the local port could not be used), or an update was stopped by a second interrupt;
2 usage error, nothing sent; 3 a bad input file, nothing written to the device; 4 the update was
programmed but the restart was not confirmed, or the device came back without the file's version;
5 diff found differences. The fleet commands (inventory, backup, apply, update-all) exit 0 when
every bridge succeeded, changed or not, and 1 when any failed or the run was interrupted.)";

// Where update-all --to goes: a version written as the update window writes it.
const CLI::Validator kVersionText(
    [](std::string& v) {
        static const QRegularExpression kVersion(QStringLiteral("^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
        return kVersion.match(QString::fromStdString(v)).hasMatch() ? std::string() : "not a version such as 1.0.17";
    },
    "VERSION");

// What the command line gave: the tool's own options, then the operands and options of the
// commands (commands that take the same thing share its field).
struct Args {
    int devicePort = 2362;
    int localPort = 2362;
    std::string broadcast = "255.255.255.255";
    bool json = false;
    std::vector<std::string> at;

    std::string ip, file, folder, suffix, saveTo, only, toVersion;
    bool rebootAfter = false, boot = false, csv = false, check = false, force = false;
    int parallel = 16; // the fleet commands: the one-second search, then at most this many at once
};

QString qs(const std::string& text) { return QString::fromStdString(text); }

void addIp(CLI::App& command, Args& a)
{
    command.add_option("IP", a.ip, "the device's IPv4 address")->required()->check(kDottedAddress);
}

void addSettingsFile(CLI::App& command, Args& a)
{
    command.add_option("FILE", a.file, "a .TALIX settings file, or JSON with the keys of read --json")->required();
}

void addParallel(CLI::App& command, Args& a)
{
    command.add_option("--parallel", a.parallel, "at most N bridges in conversation at once (default 16)")
        ->check(CLI::Range(1, 4096));
}

// An empty name after --save is refused before the device hears anything.
int readCommand(const CLI::App& command, const Args& a, Io& io)
{
    if (command.count("--save") > 0 && a.saveTo.empty()) {
        io.err << "--save needs the name of the settings file to write.\n";
        return kUsageError;
    }
    return read(io, qs(a.ip), qs(a.saveTo));
}

// One command of the tool: its name and help, the options it adds to the command line, and what
// it runs once the command line has been read.
struct Command {
    const char* name;
    const char* description;
    const char* footer;
    void (*addOptions)(CLI::App& command, Args& a);
    int (*run)(const CLI::App& command, const Args& a, Io& io, const FleetRun& fleet);
};

// In the order the help lists them.
const Command kCommands[] = {
    {"discover", "the one-second search of the discovery window",
     "Lists every bridge that answered, one line per address (a MAC that answered from two addresses is listed "
     "twice, marked), and the search's status text last.\nExample: talixctl --json discover",
     [](CLI::App&, Args&) {},
     [](const CLI::App&, const Args&, Io& io, const FleetRun& fleet) { return discover(io, fleet.searchAt); }},
    {"read", "read the settings; --save writes them as a .TALIX settings file",
     "Example: talixctl read 192.168.1.20 --save bridge.TALIX",
     [](CLI::App& c, Args& a) {
         addIp(c, a);
         c.add_option("--save", a.saveTo, "settings file (.TALIX) to write");
     },
     [](const CLI::App& c, const Args& a, Io& io, const FleetRun&) { return readCommand(c, a, io); }},
    {"write",
     "read the device (to learn its layout and current values), apply FILE, send the save command; --reboot then "
     "restarts it",
     "Keys absent from a JSON file keep the device's current values.\n"
     "Example: echo '{\"NetName\": \"Pump 3\", \"BaudRate\": 19200}' > s.json && talixctl write 192.168.1.20 s.json "
     "--reboot",
     [](CLI::App& c, Args& a) {
         addIp(c, a);
         addSettingsFile(c, a);
         c.add_flag("--reboot", a.rebootAfter, "restart the device once it has saved the settings");
     },
     [](const CLI::App&, const Args& a, Io& io, const FleetRun&) {
         return write(io, qs(a.ip), qs(a.file), a.rebootAfter);
     }},
    {"reboot", "the restart command of the configuration window", "Example: talixctl reboot 192.168.1.20", addIp,
     [](const CLI::App&, const Args& a, Io& io, const FleetRun&) { return reboot(io, qs(a.ip)); }},
    {"set-mac",
     "SUFFIX: the last six hex digits, 5A3000 to 5A3FFF, any case; the MAC command, then the restart command",
     "The address becomes 00:50:C2 followed by SUFFIX.\nExample: talixctl set-mac 192.168.1.20 5a3abc",
     [](CLI::App& c, Args& a) {
         addIp(c, a);
         c.add_option("SUFFIX", a.suffix, "last six hexadecimal digits of the new MAC address")->required();
     },
     [](const CLI::App&, const Args& a, Io& io, const FleetRun&) { return setMac(io, qs(a.ip), qs(a.suffix)); }},
    {"updates", "the update files in DIR that fit the device, as the update window lists them",
     "Newest first; the first line of each list is the one the update window selects.\n"
     "Example: talixctl updates ~/talix-updates --device 192.168.1.20",
     [](CLI::App& c, Args& a) {
         c.add_option("DIR", a.folder, "folder of update (.bin) files")->required();
         c.add_option("--device", a.ip, "the device's IPv4 address")->required()->check(kDottedAddress);
     },
     [](const CLI::App&, const Args& a, Io& io, const FleetRun&) { return updates(io, qs(a.folder), qs(a.ip)); }},
    {"update", "erase, program, restart; progress on stderr when it is a terminal",
     "The file is checked whole, and against the device, before anything is sent.\n"
     "Example: talixctl update 192.168.1.20 ~/talix-updates/BOOT108.bin --boot",
     [](CLI::App& c, Args& a) {
         addIp(c, a);
         c.add_option("FILE", a.file, "update (.bin) file")->required();
         c.add_flag("--boot", a.boot, "FILE is a bootloader update file (the firmware is erased with it)");
     },
     [](const CLI::App&, const Args& a, Io& io, const FleetRun&) { return update(io, qs(a.ip), qs(a.file), a.boot); }},
    {"inventory", "discover, then read every bridge found: name, MAC, address, versions",
     "Exit 1 when any bridge could not be read (the others are still listed).\n"
     "Example: talixctl --json inventory --parallel 32",
     [](CLI::App& c, Args& a) {
         c.add_flag("--csv", a.csv, "comma-separated values with a header line (RFC 4180)");
         addParallel(c, a);
     },
     [](const CLI::App&, const Args& a, Io&, const FleetRun& fleet) { return FleetInventory(fleet, a.csv); }},
    {"backup", "discover, read every bridge, save DIR/<MAC>.TALIX (as read --save) and DIR/index.json",
     "Example: talixctl backup ~/talix-backup/$(date +%F)",
     [](CLI::App& c, Args& a) {
         c.add_option("DIR", a.folder, "folder for the settings files (made when missing)")->required();
         addParallel(c, a);
     },
     [](const CLI::App&, const Args& a, Io&, const FleetRun& fleet) { return FleetBackup(fleet, qs(a.folder)); }},
    {"diff", "what writing FILE (.TALIX or JSON) would change on the bridge",
     "One \"field: old -> new\" line per change; exit 0 when nothing would change, 5 when something would.\n"
     "Example: talixctl diff 192.168.1.20 ~/talix-backup/0050C25A3000.TALIX",
     [](CLI::App& c, Args& a) {
         addIp(c, a);
         addSettingsFile(c, a);
     },
     [](const CLI::App&, const Args& a, Io&, const FleetRun& fleet) { return FleetDiff(fleet, qs(a.ip), qs(a.file)); }},
    {"apply", "write each bridge of PLAN only where its settings differ; --check changes nothing",
     "Keys are those of read --json. A bridge gets its current settings, then \"defaults\", then its own entry;\n"
     "a plan with a bad value is refused whole (exit 3) before any bridge is changed.\n"
     "Example: echo '{\"defaults\": {\"BaudRate\": 19200}, \"devices\": {\"0050C25A3000\": {\"NetName\": "
     "\"Pump house\"}}}' > plan.json && talixctl apply plan.json --check",
     [](CLI::App& c, Args& a) {
         c.add_option("PLAN", a.file, "JSON: {\"defaults\": {...}, \"devices\": {\"<MAC>\": {...}}}")->required();
         c.add_flag("--check", a.check, "send no save and no restart; report what would change");
         c.add_flag("--reboot", a.rebootAfter, "restart every bridge that was changed");
         addParallel(c, a);
     },
     [](const CLI::App&, const Args& a, Io&, const FleetRun& fleet) {
         return FleetApply(fleet, qs(a.file), a.check, a.rebootAfter);
     }},
    {"update-all", "bring every bridge's firmware up to the newest fitting file in DIR, as update does",
     "Interrupting (Ctrl-C) starts no further bridge; updates under way are finished.\n"
     "With --to a bridge is brought to exactly that version, down as well as up.\n"
     "Example: talixctl update-all ~/talix-updates --check",
     [](CLI::App& c, Args& a) {
         c.add_option("DIR", a.folder, "folder of update (.bin) files; bootloader files are left out")->required();
         c.add_flag("--check", a.check, "update nothing; report the plan");
         c.add_option("--only", a.only, "only these bridges: MAC addresses separated by commas");
         c.add_option("--to", a.toVersion, "the fitting firmware file of exactly this version (e.g. 1.0.17), older or "
                                           "newer than the bridge's, instead of the newest")
             ->check(kVersionText);
         c.add_flag("--force", a.force, "program the file also on a bridge that already runs its version");
         addParallel(c, a);
     },
     [](const CLI::App&, const Args& a, Io&, const FleetRun& fleet) {
         const QStringList only = a.only.empty() ? QStringList() : qs(a.only).split(QLatin1Char(','));
         return FleetUpdateAll(fleet, qs(a.folder), a.check, only, {qs(a.toVersion), a.force});
     }},
};

// The options of the whole tool, its version and the help's closing words.
void addToolOptions(CLI::App& app, Args& a)
{
    app.footer(kExamples);
    app.set_version_flag("--version", QStringLiteral("talixctl %1.%2.%3")
                                          .arg(kVersionMajor)
                                          .arg(kVersionMinor)
                                          .arg(kVersionRevision)
                                          .toStdString());
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--port", a.devicePort, "device UDP port (default 2362)")->check(CLI::Range(1, 65535));
    app.add_option("--local-port", a.localPort, "local UDP port bound (default 2362)")->check(CLI::Range(0, 65535));
    app.add_option("--broadcast", a.broadcast,
                   "discovery destination (default 255.255.255.255, sent on every interface)")
        ->check(kDottedAddress);
    app.add_flag("--json", a.json, "machine-readable output on stdout");
    app.add_option("--at", a.at,
                   "search at TARGET instead of broadcasting: an address (a bridge's own, or a directed "
                   "broadcast) or a range up to /16 (10.1.2.0/24); repeatable")
        ->check(kSearchTarget)
        ->type_name("TARGET")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

} // namespace

int RunTalixctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const RunOptions& options)
{
    CLI::App app{"Find, read, configure and update Vant TALIX Ethernet-to-serial bridges from a shell: the same "
                 "UDP protocol, byte for byte, as the Brevion windows.",
                 "talixctl"};
    Args given;
    addToolOptions(app, given);
    std::vector<CLI::App*> commands;
    for (const Command& command : kCommands) {
        CLI::App* added = app.add_subcommand(command.name, command.description);
        command.addOptions(*added, given);
        added->footer(command.footer);
        commands.push_back(added);
    }

    std::vector<const char*> argv{"talixctl"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kSuccess : kUsageError;
    }

    NetworkSettings network;
    network.devicePort = quint16(given.devicePort);
    network.localPort = quint16(given.localPort);
    network.discoveryAddress = qs(given.broadcast);
    SetNetwork(network);

    // The one link of the run: every command's conversations go over it.
    DeviceLink link(network);
    Io io{out, err, link, given.json, options};
    std::vector<SearchTarget> targets;
    for (const std::string& target : given.at)
        targets.push_back(*ParseSearchTarget(qs(target)));
    const FleetRun fleet{out, err, link, network, given.json, options.progress, given.parallel, options.speedup,
                         targets};
    for (size_t i = 0; i < commands.size(); ++i)
        if (commands[i]->parsed())
            return kCommands[i].run(*commands[i], given, io, fleet);
    return kUsageError;
}

} // namespace talixctl
