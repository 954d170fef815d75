#pragma once

#include "discovery/devicelist.h"
#include "ui/form.h"
#include "discovery/searchtarget.h"

#include <QTimer>


class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace brevion {

class DiscoverConversation;

// The discovery window: searches the network, lists the bridges that answered (one per row,
// sorted by IP text, shared addresses marked) and hands the chosen one to the configuration
// window.
class NxFind : public Form {
    Q_OBJECT
public:
    explicit NxFind(QWidget* parent = nullptr);
    void Form_Load() override;
    void Form_Unload() override;

    void cmdSearch_Click();
    void cmdConfig_Click();
    void cmdExit_Click();

    QLabel* Label1 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblDuplicates = nullptr;
    QWidget* Image1 = nullptr;
    QLabel* lblVer = nullptr;
    QPushButton* cmdSearch = nullptr;
    QPushButton* cmdConfig = nullptr;
    QPushButton* cmdExit = nullptr;
    // Where Search looks: "This network" (the broadcast), or an address or a range typed or
    // picked from the ones searched before.
    QLabel* lblSearchAt = nullptr;
    QComboBox* cboSearchAt = nullptr;

    // Grid geometry in twips.
    static constexpr int kColumnWidths[3] = {2550, 1890, 1645};
    static constexpr int kNarrowColumn0 = 2355;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSearchAt();
    void fillSearchAt(const QStringList& remembered);
    // The targets the box names, the entry remembered; nothing (after a message box naming the
    // entry) when it names none.
    std::optional<std::vector<SearchTarget>> chosenTargets();
    // The list the grid shows: the running search's, or the last search's.
    const DeviceList& devices() const;
    void deviceAdded(int index);
    void flushGrid(bool whole = false);
    void clearGrid();
    void setRowTexts(int row, const DiscoveredDevice& device);
    void setStatus(const QString& text);
    void MarkDuplicates();
    void CloseDown();

    DiscoverConversation* m_search = nullptr; // while a search runs
    DeviceList m_devices;
    // Rows reach the grid in batches, so a burst of replies costs one repaint per batch: the
    // grid matches the device list above this row.
    int m_syncFrom = 0;
    QTimer m_gridFlush;
};

} // namespace brevion
