#pragma once

#include <QDialog>
#include <QImage>
#include <memory>

#include "platform/sane_types.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace ornavex {

class SaneDevice;
class SaneScanThread;

// What the user chose last time, offered again for the next page.
struct ScanSettings {
    QString mode;  // the device's own string, e.g. "Color"
    int dpi = 300;
    QString source;  // the device's own string, e.g. "Flatbed"
};

// Scans one page from an open device: main options, "Scannen" with a progress bar,
// and "Abbrechen", which also stops a running scan at once.
class ScannerAcquireDialog : public QDialog {
    Q_OBJECT
  public:
    enum Outcome { Cancelled = QDialog::Rejected, NewPage = QDialog::Accepted, Failed = 2 };

    ScannerAcquireDialog(SaneDevice& device, ScanSettings& settings, const QString& title,
                         QWidget* owner);
    ~ScannerAcquireDialog() override;

    // The scanned page once the dialog ended with NewPage.
    const QImage& page() const { return page_; }

    // The message for a failed scan, German, in the user's words.
    static QString failureText(DeviceStatus status);
    static QString modeLabel(const QString& saneMode);
    static QString sourceLabel(const QString& saneSource);

  public slots:
    void startScan();
    void reject() override;

  private:
    void buildOptions();
    void fillChoices(QComboBox* box, const QString& optionName, const QString& preferred,
                     QString (*label)(const QString&));
    void fillResolutions();
    void fillArea();
    DeviceStatus applyOptions();
    void showProgress(int permille);
    void scanFinished();
    void fail(DeviceStatus status);
    void lockControls();

    SaneDevice& device_;
    ScanSettings& settings_;
    QComboBox* modeBox_;
    QComboBox* resolutionBox_;
    QComboBox* sourceBox_;
    QDoubleSpinBox* widthBox_;
    QDoubleSpinBox* heightBox_;
    QProgressBar* progress_;
    QLabel* state_;
    QPushButton* scanButton_;
    QPushButton* cancelButton_;
    std::unique_ptr<SaneScanThread> scan_;
    bool closeWhenStopped_ = false;
    QImage page_;
};

}  // namespace ornavex
