#pragma once

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <optional>
#include <vector>

#include "platform/owned_fd.h"
#include "scan/service/scanner_types.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace ornavex {

class MessageBoxes;
class ScannerClient;

// What the user chose last time, offered again for the next page.
struct ScanSettings {
    QString mode;  // the device's own string, e.g. "Color"
    int dpi = 300;
    QString source;  // the device's own string, e.g. "Flatbed"
};

// Scans one page from the open device: main options, "Scannen" with a progress
// bar and the page filling in beside them, and "Abbrechen", which also stops a
// running scan at once.
class ScannerAcquireDialog : public QDialog {
    Q_OBJECT
  public:
    // Lost: the worker hung or crashed before the page was complete.
    enum Outcome { Cancelled = QDialog::Rejected, NewPage = QDialog::Accepted, Failed = 2, Lost };

    ScannerAcquireDialog(ScannerClient& scanner, const std::vector<SaneOptionInfo>& options,
                         ScanSettings& settings, MessageBoxes& messages, const QString& title,
                         QWidget* owner);

    // The scanned page once the dialog ended with NewPage.
    const QImage& page() const { return page_; }
    // The memory file that holds the page's rows, where the scanner gave one.
    OwnedFd takePageMemory() { return std::move(pageMemory_); }
    // Set when the worker was lost, also after a page that had fully arrived.
    std::optional<WorkerLoss> loss() const { return loss_; }

    // The message for a failed scan, German, in the user's words; a network
    // scanner's broken connection is one of the network.
    static QString failureText(DeviceStatus status);
    static QString failureText(DeviceStatus status, bool networkDevice);
    void setNetworkDevice(bool networkDevice) { networkDevice_ = networkDevice; }
    static QString modeLabel(const QString& saneMode);
    static QString sourceLabel(const QString& saneSource);

  public slots:
    void startScan();
    void reject() override;

  private:
    const SaneOptionInfo* option(const char* name) const;
    void buildOptions();
    void fillChoices(QComboBox* box, const char* optionName, const QString& preferred,
                     QString (*label)(const QString&));
    void fillResolutions();
    void fillArea();
    ScanRequest chosenRequest() const;
    void showProgress(int permille);
    void pageEnded(DeviceStatus status, const QImage& page);
    void scanEnded();
    void workerLost(WorkerLoss loss);
    void showPageSoFar();
    void fail(DeviceStatus status);
    void lockControls();

    ScannerClient& scanner_;
    std::vector<SaneOptionInfo> options_;
    ScanSettings& settings_;
    MessageBoxes& messages_;
    QComboBox* modeBox_;
    QComboBox* resolutionBox_;
    QComboBox* sourceBox_;
    QDoubleSpinBox* widthBox_;
    QDoubleSpinBox* heightBox_;
    QProgressBar* progress_;
    QLabel* state_;
    QLabel* preview_;
    QPushButton* scanButton_;
    QPushButton* cancelButton_;
    QTimer previewTimer_;
    bool networkDevice_ = false;
    bool scanning_ = false;
    bool closeWhenStopped_ = false;
    bool failing_ = false;
    int shownLines_ = 0;
    DeviceStatus pageStatus_ = DeviceStatus::Failed;
    QImage page_;
    OwnedFd pageMemory_;
    std::optional<WorkerLoss> loss_;
};

}  // namespace ornavex
