#pragma once

#include "gui/commandexchange.h"
#include "ui/form.h"
#include "rules/outcnctrule.h"
#include "config/settingsrecord.h"

#include <QFile>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace brevion {

struct ControlValues;
struct SettingsFileValues;

// The configuration window of one device ("Configure Vant TALIX"). The discovery window fills
// NetName and IPAddr, sets MacUnset and calls Init; the window reads the device at once.
//
// The handlers are spread over several files: this window's own (nxsetup.cpp), the rule list
// (nxsetup_rules.cpp), the settings file (nxsetup_file.cpp), and the update window and MAC
// address programming (nxsetup_update.cpp).
class NxSetup : public Form {
    Q_OBJECT
public:
    explicit NxSetup(QWidget* parent = nullptr);
    ~NxSetup() override;
    void Form_Load() override;
    void Form_Unload() override;

    // Opens the window for the device whose address IPAddr holds.
    void Init();

    // Set by the discovery window when the device still carries the placeholder MAC address.
    bool MacUnset = false;

    // The device being configured; every command goes to it.
    QString DeviceIP() const { return m_exchange.DeviceIP(); }
    CommandExchange& Exchange() { return m_exchange; }
    qint16 PendingOp() const { return m_exchange.PendingOp(); }
    bool GotAck() const { return m_exchange.GotAck(); }

    // The rule table: slot n (1..12) shown in row n of OutCnct; slot 0 unused.
    std::array<OutCnctRule, MaxOutRules + 1> OutRules{};
    qint16 OutCount = 0;

    // The last (at most) seven characters typed anywhere in the window, upper-cased.
    QString TypedKeys;

    // The settings file while a save or load runs; closed on unload.
    QFile SettingsFile;

    // Device identity
    QLabel* Label4 = nullptr;
    QLineEdit* NetName = nullptr;
    QLabel* Label9 = nullptr;
    // Address mode
    QGroupBox* Frame1 = nullptr;
    QRadioButton* DHCP = nullptr;
    QRadioButton* StaticIP = nullptr;
    QLabel* lblIPAddr = nullptr;
    QLineEdit* IPAddr = nullptr;
    QLabel* lblSubnetMask = nullptr;
    QLineEdit* SubnetMask = nullptr;
    QLabel* lblGateway = nullptr;
    QLineEdit* Gateway = nullptr;
    QLabel* lblDhcpAddr = nullptr;
    QLineEdit* DhcpAddr = nullptr;
    // Serial port
    QGroupBox* Frame2 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* BaudRate = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* Handshaking = nullptr;
    // Incoming TCP
    QGroupBox* Frame3 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* IPPort = nullptr;
    // Incoming UDP
    QGroupBox* Frame4 = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* UDPPort = nullptr;
    // Outgoing rules
    QGroupBox* Frame5 = nullptr;
    QTableWidget* OutCnct = nullptr; // row 0 and column 0 are the fixed header cells
    QPushButton* cmdAddNew = nullptr;
    QPushButton* cmdModify = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPlainTextEdit* TextH = nullptr; // never shown
    QLabel* Label10 = nullptr;
    // Login
    QGroupBox* Frame6 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label12 = nullptr;
    QLineEdit* UserPrompt = nullptr;
    QLabel* Label13 = nullptr;
    QLineEdit* PassPrompt = nullptr;
    QLabel* Label14 = nullptr;
    QLineEdit* Username = nullptr;
    QLabel* Label15 = nullptr;
    QLineEdit* Password = nullptr;
    QCheckBox* ShowPassword = nullptr;
    // Versions
    QLabel* Label1 = nullptr;
    QLineEdit* BootVer = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* FirmVer = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* HdweVer = nullptr;
    // Buttons
    QPushButton* cmdRead = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdReboot = nullptr;
    QPushButton* cmdPgmProgram = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdLoad = nullptr;
    QPushButton* cmdExit = nullptr;
    // Notes and decoration
    QLabel* Label8 = nullptr;
    QLabel* Label16 = nullptr;
    QWidget* Image1 = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;

    // Handlers of this window (nxsetup.cpp).
    void DHCP_Click();
    void StaticIP_Click();
    void ShowPassword_Click();
    void Form_KeyPress(QChar typed);
    void cmdRead_Click();
    void cmdSend_Click();
    void cmdReboot_Click();
    void cmdExit_Click();

    // Rule list (nxsetup_rules.cpp).
    void cmdAddNew_Click();
    void cmdModify_Click();
    void cmdRemove_Click();
    void OutCnct_Click(int row);
    void OutCnct_EnterCell();
    void OutCnct_LeaveCell(int row, int column);
    // Whether row n's slot holds a rule, and Add New enabled while a slot is free.
    bool RuleSlotInUse(int row) const;
    void UpdateAddNew();

    // Settings file (nxsetup_file.cpp).
    void cmdSave_Click();
    void cmdLoad_Click();
    // The values a settings file holds, from and into the controls.
    SettingsFileValues ToFileValues() const;
    void FromFileValues(const SettingsFileValues& values);

    // Update window and MAC address programming (nxsetup_update.cpp).
    void cmdPgmProgram_Click();
    // Gives a device with the placeholder MAC address a real one; false when the user cancelled.
    bool ProgramMacAddress();

    // Selects an address mode as the device or a file reports it; runs the option's click handler.
    void SelectDHCP(bool dhcp);
    // Fits the height of OutCnct's current row to its wrapped text.
    void FitRowHeight();
    // Writes slot n's sentence into row n, column 1 and fits the row.
    void SetRuleRow(int row, const QString& sentence);

    // What the value controls hold, and the controls set to values (the address mode's click
    // handler runs); the rule list with its rows' sentences.
    ControlValues Values() const;
    void ShowValues(const ControlValues& values);
    void ShowRules(const OutRuleTable& rules, const std::array<QString, MaxOutRules + 1>& sentences);

    // The window's values as settings. Texts that are not numbers give 0, no baud rate gives 0,
    // no handshaking entry gives -1. Sending checks them first with InvalidValueMessage.
    DeviceSettings ToSettings() const;
    // Why the values cannot be sent in the given layout (an "Invalid Value" message), or nothing;
    // values equal to what the device reported last are not judged.
    std::optional<Message> InvalidValueMessage(SettingsLayout layout) const;
    // Shows an accepted settings reply: controls a reply value does not fit stay as they were.
    void ShowReply(const SettingsReply& reply);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls, frame by frame (nxsetup.cpp).
    void buildControls();
    QGroupBox* makeFrame(const char* name, const QString& caption);
    // A text box of the settings, as wide as its field, named after its label.
    QLineEdit* makeValueBox(QLabel* label, const char* name, QWidget* parent);
    QComboBox* makeList(QLabel* label, const char* name, const QStringList& entries, QWidget* parent);
    void buildIdentity();
    void buildAddressFrame();
    void buildSerialFrames();
    void buildVersions();
    void buildRulesFrame();
    void buildLoginFrame();
    void buildCommands();
    void arrangeControls();
    void connectHandlers();
    void watchKeys(QWidget* widget);

    CommandExchange m_exchange;
    // What the device holds: the values of the last settings reply shown, or of the last Send.
    // Send judges only what differs from them.
    std::unique_ptr<ControlValues> m_held;
    const QEvent* m_lastKeyEvent = nullptr;
    QObject* m_lastKeyReceiver = nullptr;
};

} // namespace brevion
