#pragma once

#include "form.h"

namespace brevion {

// The bootloader and firmware update window.
class NxUpdate : public Form {
    Q_OBJECT
public:
    explicit NxUpdate(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;
};

} // namespace brevion
