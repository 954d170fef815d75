#pragma once

#include "ui/form.h"

class QPushButton;

namespace brevion {

// The credits window: the logo, three lines of credits and an OK button that unloads it.
class ByVant : public Form {
    Q_OBJECT
public:
    explicit ByVant(QWidget* parent = nullptr);

    QPushButton* cmdOK = nullptr;

    void cmdOK_Click();
};

} // namespace brevion
