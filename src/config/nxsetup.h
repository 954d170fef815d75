#pragma once

#include "form.h"

class QLineEdit;

namespace brevion {

// The configuration window of one device.
class NxSetup : public Form {
    Q_OBJECT
public:
    explicit NxSetup(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;

    // Reads the device at IPAddr and fills the window; leads through MAC programming when
    // MacUnset is set.
    void Init();

    // Set by the discovery window before Init.
    QLineEdit* NetName = nullptr;
    QLineEdit* IPAddr = nullptr;
    bool MacUnset = false;
};

} // namespace brevion
