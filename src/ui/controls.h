#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace brevion {

// Controls as every window makes them: objectName is the control's own name (cmdSearch, IPAddr, ...); buttons
// and option buttons are named for assistive technology by their caption. A label's accessible
// name is left to Qt, which takes it from the label's current text, so labels the program changes
// (status lines, rule sentences) are announced as they read now. A null rect leaves the geometry
// to a layout.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect = {});
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect = {});
QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption, const QRect& rect = {});
// maxLength 0: no limit.
QLineEdit* MakeTextBox(QWidget* parent, const char* name, int maxLength = 0, const QRect& rect = {});
QLineEdit* MakeReadOnlyBox(QWidget* parent, const char* name, const QRect& rect = {});

} // namespace brevion
