#pragma once

#include "ui/form.h"
#include "rules/rulewizard.h"
#include "gui/sharedrules.h"

#include <array>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace brevion {

// The outgoing connection wizard ("Outgoing Connection Wizard"): builds or edits one rule in
// five pages. The caller sets EditRule, calls Form_Init, shows the window modally, and then
// reads Cancelled, OutgoingRule's text and WizRule. One window serves every run: it hides
// itself when a run ends and is prepared again by Form_Init.
class OutgoingWiz : public Form {
    Q_OBJECT
public:
    explicit OutgoingWiz(QWidget* parent = nullptr);

    void Form_Init();
    bool Cancelled = false;
    qint16 WizPage = 0;

    void ShowWizPage();
    void BuildRuleText();

    void cmdNext_Click();
    void cmdBack_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void optWhenPowerup_Click();
    void optWhenSerial_Click();
    void LoginYes_Click();
    void LoginNo_Click();
    void optIndefinite_Click();
    void optForSeconds_Click();
    void ForSeconds_GotFocus();
    void IPAddr_LostFocus();
    void Port_LostFocus();
    void ForSeconds_LostFocus();

    // The state of the controls that make the rule.
    WizChoices Choices() const;

    // Pages: only the current one is shown.
    QStackedWidget* Pages = nullptr;
    std::array<QFrame*, kWizPages> WizFrame{};
    // Page 0: address and protocol
    QLabel* lblConnectTo = nullptr;
    QLabel* lblIPAddr = nullptr;
    QLineEdit* IPAddr = nullptr;
    QLabel* lblPort = nullptr;
    QLineEdit* Port = nullptr;
    QLabel* lblUsing = nullptr;
    QRadioButton* optTCP = nullptr;
    QRadioButton* optUDP = nullptr;
    // Page 1: when
    QLabel* lblWhen = nullptr;
    QRadioButton* optWhenPowerup = nullptr;
    QRadioButton* optWhenSerial = nullptr;
    // Page 2: login
    QLabel* lblLogin = nullptr;
    QRadioButton* LoginYes = nullptr;
    QRadioButton* LoginNo = nullptr;
    QLabel* lblLoginNote = nullptr;
    // Page 3: duration
    QLabel* lblKeepOpen = nullptr;
    QRadioButton* optIndefinite = nullptr;
    QRadioButton* optForSeconds = nullptr;
    QLineEdit* ForSeconds = nullptr;
    QLabel* lblSeconds = nullptr;
    QLabel* lblRange = nullptr;
    // Page 4: done
    QLabel* lblDone = nullptr;
    // Always shown
    QGroupBox* FrameRule = nullptr;
    QLabel* OutgoingRule = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    // The controls of each page, frame by frame, as the window draws them.
    void buildAddressPage(QFrame* page);
    void buildWhenPage(QFrame* page);
    void buildLoginPage(QFrame* page);
    void buildDurationPage(QFrame* page);
    void buildDonePage(QFrame* page);
    void buildRuleAndButtons();
    void connectHandlers();

protected:
    // The title-bar close is the same as Cancel; the window stays for the next run.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace brevion
