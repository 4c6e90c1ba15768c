#pragma once

#include <QDialog>
#include <vector>

#include "scan/service/scanner_types.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace ornavex {

class ScannerClient;

// Lists the scanners the library finds and lets the user choose one. The search
// runs in the scanner worker, so the window keeps working during network discovery.
class ScannerSourceDialog : public QDialog {
    Q_OBJECT
  public:
    ScannerSourceDialog(ScannerClient& scanner, const QString& currentDevice, QWidget* owner);

    // Empty unless the dialog was accepted.
    QString chosenDevice() const;
    QString chosenLabel() const;
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

    ScannerClient& scanner_;
    QString preferred_;
    QTreeWidget* list_;
    QProgressBar* busy_;
    QLabel* state_;
    QPushButton* searchButton_;
    QPushButton* okButton_;
    bool searching_ = false;
};

}  // namespace ornavex
