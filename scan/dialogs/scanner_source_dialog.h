#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "scan/service/scanner_types.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ornavex {

class ScannerClient;

// Lists the scanners the library finds and lets the user choose one. The search
// runs in the scanner worker, so the window keeps working during network
// discovery. The scanner chosen last time is offered at once, ready to take,
// while the search goes on.
class ScannerSourceDialog : public QDialog {
    Q_OBJECT
  public:
    ScannerSourceDialog(ScannerClient& scanner, const QString& currentDevice,
                        std::optional<SaneDeviceInfo> remembered, QWidget* owner);

    // Empty unless the dialog was accepted.
    QString chosenDevice() const;
    QString chosenLabel() const;
    std::optional<SaneDeviceInfo> chosenInfo() const;
    bool isSearching() const { return searching_; }

  public slots:
    void search();
    // A search nobody waits for any more is abandoned at once.
    void reject() override;
    void accept() override;

  private:
    void showDevices(DeviceStatus status, const std::vector<SaneDeviceInfo>& devices);
    void searchLost(WorkerLoss loss);
    void endSearch();
    void updateButtons();
    QTreeWidgetItem* addDevice(const SaneDeviceInfo& device);
    void offerRemembered(bool found);

    ScannerClient& scanner_;
    QString preferred_;
    std::optional<SaneDeviceInfo> remembered_;
    QTreeWidget* list_;
    QProgressBar* busy_;
    QLabel* state_;
    QPushButton* searchButton_;
    QPushButton* okButton_;
    bool searching_ = false;
};

}  // namespace ornavex
