#pragma once

#include "form.h"

namespace brevion {

// The configuration window of one device.
class NxSetup : public Form {
    Q_OBJECT
public:
    explicit NxSetup(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;
};

} // namespace brevion
