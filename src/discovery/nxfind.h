#pragma once

#include "form.h"

namespace brevion {

// The discovery window: searches the network and lists the bridges that answered.
class NxFind : public Form {
    Q_OBJECT
public:
    explicit NxFind(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;
};

} // namespace brevion
