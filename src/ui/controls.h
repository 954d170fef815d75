#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QWidget;

namespace brevion {

// Controls as every window makes them: objectName is the control's own name (cmdSearch, IPAddr, ...).
// The accessible names of buttons, option buttons and labels are left to Qt, which takes them from
// the current caption or text, so a caption or status line the program changes (Next -> Done, a
// search's count, a rule sentence) is announced as it reads now. A null rect leaves the geometry
// to a layout.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect = {});
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect = {});
QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption, const QRect& rect = {});
// maxLength 0: no limit. The limit holds for typing only: see SetWholeText.
QLineEdit* MakeTextBox(QWidget* parent, const char* name, int maxLength = 0, const QRect& rect = {});
// Shows text whole, even when it is longer than the box lets a user type, so that the checks that
// follow judge the value itself and not its first characters; a text that fits restores the limit.
void SetWholeText(QLineEdit* box, const QString& text);
QLineEdit* MakeReadOnlyBox(QWidget* parent, const char* name, const QRect& rect = {});
// A display grid: cells not editable, and Tab leaves it for the next control instead of walking
// its cells (thousands of presses past a long list).
QTableWidget* MakeGrid(QWidget* parent, const char* name, int rows, int columns, const QRect& rect = {});

// Disable a control, or a whole window, for the length of an operation. Qt hands the keyboard
// focus of a disabled control on to the next one, where the next Space meant for this one would
// press another button (Exit, after a search); here the focus is parked instead, and
// EnableControl gives it back, unless the user has put it somewhere else meanwhile.
void DisableControl(QWidget* control);
void EnableControl(QWidget* control);

} // namespace brevion
