#pragma once

class QLabel;
class QWidget;

namespace brevion {

// A short audible signal.
void Beep();

// Names a control for assistive technology (and for tests that go through the accessibility
// tree) by the label that a user sees beside it.
void NameByLabel(QLabel* label, QWidget* control);

} // namespace brevion
