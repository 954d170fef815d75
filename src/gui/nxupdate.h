#pragma once

#include "ui/form.h"
#include "ui/timer.h"
#include "engine/updateconversation.h"
#include "update/updatelist.h"

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
// one file and presses Update, which runs the whole update (an UpdateConversation over a device
// link of its own, holding the local port from the erase to the last reply) and shows its phases,
// progress and ending in the window's own sentences; Update then turns into Close.
class NxUpdate : public Form {
    Q_OBJECT
public:
    explicit NxUpdate(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;

    QString DeviceIP() const { return m_deviceIP; }
    void SetDeviceIP(const QString& address) { m_deviceIP = address; }
    // The waits of the update: the device's, unless a test shortens them.
    void SetTimings(const UpdateConversation::Timings& timings) { m_timings = timings; }

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
    // The progress animation: every 100 ms ProgressCount grows by 0.1 (one bar unit a second).
    Timer* Timer2 = nullptr;
    float ProgressCount = 0;

protected:
    bool QueryUnload() override { return !m_updating; }

private:
    void buildVersionRow();
    void buildFileChoice();
    void buildLowerPart();
    void fillLists(const UpdateListing& listing);
    std::optional<UpdateFile> loadChosen(const ListLineParts& line);
    void lockControls();
    void runUpdate(const UpdateFile& file, bool boot, const ListLineParts& line);
    void phaseChanged(UpdateConversation::Phase phase, qint64 totalBytes);
    void ended(const UpdateConversation& update, bool boot, const ListLineParts& line, qint32 fileVersion);
    void Timer2_Timer();
    void startAnimation(double maximum);
    void showProgress(double maximum, double position);

    QString m_deviceIP;
    QString m_filesListPath;
    UpdateConversation::Timings m_timings;
    UpdateConversation* m_running = nullptr;
    double m_barMax = 100;
    bool m_updating = false;
};

} // namespace brevion
