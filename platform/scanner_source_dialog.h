#pragma once

#include <QDialog>
#include <memory>

#include "platform/sane_types.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTreeWidget;

namespace ornavex {

class SaneSession;

// Lists the scanners the library finds and lets the user choose one. The search
// runs on a worker thread so the window keeps painting during network discovery.
class ScannerSourceDialog : public QDialog {
    Q_OBJECT
  public:
    ScannerSourceDialog(SaneSession& session, const QString& currentDevice, QWidget* owner);
    ~ScannerSourceDialog() override;

    // Empty unless the dialog was accepted.
    QString chosenDevice() const;
    QString chosenLabel() const;
    bool isSearching() const;

  public slots:
    void search();
    // While the search runs, the dialog stays open (painting) until it ends:
    // discovery cannot be interrupted, and waiting for it must not freeze the window.
    void reject() override;

  private:
    void showDevices();
    void updateButtons();

    SaneSession& session_;
    QString preferred_;
    QTreeWidget* list_;
    QProgressBar* busy_;
    QLabel* state_;
    QPushButton* searchButton_;
    QPushButton* okButton_;
    std::unique_ptr<QThread> searcher_;
    SaneDeviceList found_;
    bool closeWhenSearchEnds_ = false;
};

}  // namespace ornavex
