#pragma once

// Helpers for window tests: the window singleton, a click on a grid row, message boxes answered
// by a Boxes recorder, and outgoing rules added through the wizard as a user would.

#include "boxes.h"
#include "ui/forms.h"

#include <QString>

class QTableWidget;

namespace support {

// The window's one instance (created and loaded on first use).
template <typename T> T& window()
{
    return brevion::Forms::Get<T>();
}

// A mouse click on the cell (row, column) of a grid.
void clickRow(QTableWidget* grid, int row, int column = 1);

// Every message box from now on goes to `boxes` (SetMessageResponder({}) ends it).
void answerBoxes(Boxes& boxes);

// What the user enters in the outgoing connection wizard.
struct RuleAnswer {
    enum class Kind { Udp, TcpPowerup, TcpSerial };
    QString ip;
    int port = 0;
    Kind kind = Kind::Udp;
    int seconds = 0; // TcpSerial: 0 = indefinitely
    bool login = false;
    bool cancel = false;
};

// The next modal show of the wizard is filled in from `answer` and finished (or cancelled).
void answerWizard(const RuleAnswer& answer);
// Adds a rule to the configuration window through its Add New button and the wizard.
void addRule(const RuleAnswer& answer);

} // namespace support
