#pragma once

#include "ui/form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace brevion {

// The dialog that asks for the last six hexadecimal digits of a device's new EUI-48 address.
// Created on first use, hidden (not destroyed) when answered; the caller prepares NewAddr and
// reads Cancelled after the modal show. The window system's close and Escape act as Cancel.
class EnterMacAddr : public Form {
    Q_OBJECT
public:
    explicit EnterMacAddr(QWidget* parent = nullptr);

    bool Cancelled = false;

    void NewAddr_Change();
    void OKButton_Click();
    void CancelButton_Click();

    QLabel* Label1 = nullptr;
    QLineEdit* NewAddrL = nullptr;
    QLineEdit* NewAddr = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace brevion
