#pragma once

#include "form.h"
#include "updateexchange.h"

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace brevion {

// The bootloader and firmware update window ("Update Bootloader/Firmware"). The configuration
// window hands it the device's address and version texts and calls SelectBinFile; the user picks
// one file and presses Update, which erases, programs and restarts the device; Update then turns
// into Close.
class NxUpdate : public Form {
    Q_OBJECT
public:
    explicit NxUpdate(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;

    QString DeviceIP() const { return m_exchange->DeviceIP(); }
    void SetDeviceIP(const QString& address) { m_exchange->SetDeviceIP(address); }
    UpdateExchange& Exchange() { return *m_exchange; }

    // Asks for the folder of update files and fills both lists with the files that fit the
    // device. cancelled comes back true when the window is not to be shown.
    void SelectBinFile(bool& cancelled);

    void optBoot_Click();
    void optFirm_Click();
    void cmdUpdate_Click();
    void cmdCancel_Click();

    // True from Update until the procedure has ended.
    bool Updating() const { return m_updating; }
    // The folder of the file list (FilesList), as SelectBinFile found it.
    QString FilesListPath() const { return m_filesListPath; }

    QLabel* lblHdweVer = nullptr;
    QLineEdit* HdweVer = nullptr;
    QLabel* lblBootVer = nullptr;
    QLineEdit* BootVer = nullptr;
    QLabel* lblFirmVer = nullptr;
    QLineEdit* FirmVer = nullptr;
    QRadioButton* optBoot = nullptr;
    QLabel* lblBoot = nullptr;
    QComboBox* BootUpdateFile = nullptr;
    QRadioButton* optFirm = nullptr;
    QLabel* lblFirm = nullptr;
    QComboBox* FirmUpdateFile = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* lbl1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lbl2 = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lbl3 = nullptr;
    QWidget* Image1 = nullptr;

    static const QString kBootPrompt;
    static const QString kFirmPrompt;
    static const QString kProgrammingError;

protected:
    bool QueryUnload() override { return !m_updating; }

private:
    void showProgress(double maximum, double position);

    UpdateExchange* m_exchange = nullptr;
    QString m_filesListPath;
    bool m_updating = false;
};

} // namespace brevion
