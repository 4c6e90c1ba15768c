#include "platform/scanner_acquire_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <cmath>

#include "platform/sane_device.h"
#include "platform/sane_scan_thread.h"

namespace ornavex {
namespace {

constexpr std::array<int, 8> kUsualResolutions = {75, 100, 150, 200, 300, 400, 600, 1200};

bool isIgnorable(DeviceStatus status) {
    // An option the device lacks is simply not set.
    return status == DeviceStatus::Good || status == DeviceStatus::Unsupported;
}

}  // namespace

QString ScannerAcquireDialog::failureText(DeviceStatus status) {
    switch (status) {
        case DeviceStatus::NoDocuments:
            return QStringLiteral(
                "Im Einzug liegen keine Dokumente.\nBitte legen Sie die Seiten "
                "ein und scannen Sie erneut.");
        case DeviceStatus::Jammed:
            return QStringLiteral(
                "Im Scanner ist das Papier gestaut.\nBitte entfernen Sie das "
                "Papier und scannen Sie erneut.");
        case DeviceStatus::CoverOpen:
            return QStringLiteral(
                "Die Abdeckung des Scanners ist offen.\nBitte schließen Sie sie "
                "und scannen Sie erneut.");
        case DeviceStatus::Busy:
            return QStringLiteral(
                "Der Scanner ist gerade belegt.\nBitte warten Sie einen Moment "
                "und scannen Sie erneut.");
        case DeviceStatus::IoError:
            return QStringLiteral(
                "Die Verbindung zum Scanner ist gestört.\nBitte prüfen Sie Kabel "
                "und Stromversorgung des Scanners.");
        case DeviceStatus::NoMemory:
            return QStringLiteral(
                "Für diesen Scan reicht der Speicher nicht aus.\nBitte wählen Sie "
                "eine niedrigere Auflösung.");
        case DeviceStatus::AccessDenied:
            return QStringLiteral(
                "Der Zugriff auf den Scanner wurde verweigert.\nBitte prüfen Sie "
                "die Berechtigungen für das Gerät.");
        case DeviceStatus::Invalid:
            return QStringLiteral(
                "Der Scanner hat die Einstellungen nicht angenommen.\nBitte "
                "prüfen Sie Modus, Auflösung und Scanbereich.");
        case DeviceStatus::Unsupported:
            return QStringLiteral("Der Scanner unterstützt diese Einstellungen nicht.");
        case DeviceStatus::NoData:
            return QStringLiteral("Der Scanner hat keine Bilddaten geliefert.");
        default:
            return QStringLiteral("Beim Scannen ist ein Fehler aufgetreten.");
    }
}

QString ScannerAcquireDialog::modeLabel(const QString& saneMode) {
    if (saneMode.compare(QLatin1String("Color"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Farbe");
    }
    if (saneMode.compare(QLatin1String("Gray"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Graustufen");
    }
    if (saneMode.compare(QLatin1String("Lineart"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Strichzeichnung");
    }
    return saneMode;
}

QString ScannerAcquireDialog::sourceLabel(const QString& saneSource) {
    const QString lower = saneSource.toLower();
    if (lower == QLatin1String("flatbed")) return QStringLiteral("Flachbett");
    if (lower == QLatin1String("adf") || lower == QLatin1String("automatic document feeder")) {
        return QStringLiteral("Einzug");
    }
    return saneSource;
}

ScannerAcquireDialog::ScannerAcquireDialog(SaneDevice& device, ScanSettings& settings,
                                           const QString& title, QWidget* owner)
    : QDialog(owner), device_(device), settings_(settings) {
    setWindowTitle(QStringLiteral("Scannen – %1").arg(title));
    setModal(true);
    modeBox_ = new QComboBox(this);
    resolutionBox_ = new QComboBox(this);
    sourceBox_ = new QComboBox(this);
    sourceBox_->setObjectName(QStringLiteral("quelle"));
    widthBox_ = new QDoubleSpinBox(this);
    heightBox_ = new QDoubleSpinBox(this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    state_ = new QLabel(this);

    auto* buttons = new QDialogButtonBox(this);
    scanButton_ = buttons->addButton(QStringLiteral("Scannen"), QDialogButtonBox::AcceptRole);
    cancelButton_ = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    scanButton_->setDefault(true);
    connect(scanButton_, &QPushButton::clicked, this, &ScannerAcquireDialog::startScan);
    connect(cancelButton_, &QPushButton::clicked, this, &ScannerAcquireDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Modus:"), modeBox_);
    form->addRow(QStringLiteral("Auflösung:"), resolutionBox_);
    form->addRow(QStringLiteral("Quelle:"), sourceBox_);
    form->addRow(QStringLiteral("Breite:"), widthBox_);
    form->addRow(QStringLiteral("Höhe:"), heightBox_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(state_);
    layout->addWidget(buttons);
    buildOptions();
}

ScannerAcquireDialog::~ScannerAcquireDialog() = default;  // the thread cancels and waits

void ScannerAcquireDialog::buildOptions() {
    fillChoices(sourceBox_, QStringLiteral("source"), settings_.source, &sourceLabel);
    fillChoices(modeBox_, QStringLiteral("mode"), settings_.mode, &modeLabel);
    fillResolutions();
    fillArea();
}

void ScannerAcquireDialog::fillChoices(QComboBox* box, const QString& optionName,
                                       const QString& preferred, QString (*label)(const QString&)) {
    const SaneOptionInfo* info = device_.option(optionName);
    const bool offered =
        info && info->active && info->settable && info->constraint == SaneConstraint::StringList;
    box->setEnabled(offered);
    if (!offered) return;
    const QString current = device_.text(optionName).value_or(QString());
    for (const QString& value : info->strings) box->addItem(label(value), value);
    int index = box->findData(preferred.isEmpty() ? current : preferred);
    if (index < 0) index = box->findData(current);
    box->setCurrentIndex(std::max(0, index));
}

void ScannerAcquireDialog::fillResolutions() {
    const SaneOptionInfo* info = device_.option(QStringLiteral("resolution"));
    const bool offered = info && info->active && info->settable;
    resolutionBox_->setEnabled(offered);
    if (!offered) return;
    std::vector<int> values;
    if (info->constraint == SaneConstraint::WordList) {
        for (double word : info->words) values.push_back(static_cast<int>(std::lround(word)));
    } else if (info->constraint == SaneConstraint::Range) {
        for (int dpi : kUsualResolutions) {
            if (dpi >= info->minimum && dpi <= info->maximum) values.push_back(dpi);
        }
    }
    if (values.empty()) values.push_back(settings_.dpi);
    int nearest = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        resolutionBox_->addItem(QStringLiteral("%1 dpi").arg(values[i]), values[i]);
        if (std::abs(values[i] - settings_.dpi) < std::abs(values[nearest] - settings_.dpi)) {
            nearest = static_cast<int>(i);
        }
    }
    resolutionBox_->setCurrentIndex(nearest);
}

void ScannerAcquireDialog::fillArea() {
    const std::array<std::pair<QDoubleSpinBox*, const char*>, 2> sides = {
        std::pair{widthBox_, "br-x"}, std::pair{heightBox_, "br-y"}};
    for (const auto& [box, name] : sides) {
        const SaneOptionInfo* info = device_.option(QString::fromLatin1(name));
        const bool offered = info && info->active && info->constraint == SaneConstraint::Range;
        box->setEnabled(offered);
        box->setSuffix(QStringLiteral(" mm"));
        if (!offered) continue;
        box->setRange(std::max(1.0, info->minimum), info->maximum);
        box->setValue(info->maximum);  // the whole area unless the user narrows it
    }
}

DeviceStatus ScannerAcquireDialog::applyOptions() {
    // Source and mode first: they may change which resolutions and areas exist.
    const std::array<std::pair<QComboBox*, const char*>, 2> choices = {
        std::pair{sourceBox_, "source"}, std::pair{modeBox_, "mode"}};
    for (const auto& [box, name] : choices) {
        if (!box->isEnabled()) continue;
        const DeviceStatus status =
            device_.setText(QString::fromLatin1(name), box->currentData().toString()).status;
        if (!isIgnorable(status)) return status;
    }
    if (resolutionBox_->isEnabled()) {
        const DeviceStatus status =
            device_.setNumber(QStringLiteral("resolution"), resolutionBox_->currentData().toInt())
                .status;
        if (!isIgnorable(status)) return status;
    }
    const std::array<std::tuple<QDoubleSpinBox*, const char*, const char*>, 2> sides = {
        std::tuple{widthBox_, "tl-x", "br-x"}, std::tuple{heightBox_, "tl-y", "br-y"}};
    for (const auto& [box, topLeft, bottomRight] : sides) {
        if (!box->isEnabled()) continue;
        const SaneOptionInfo* origin = device_.option(QString::fromLatin1(topLeft));
        const double start = origin ? origin->minimum : 0.0;
        if (origin) device_.setNumber(QString::fromLatin1(topLeft), start);
        const DeviceStatus status =
            device_.setNumber(QString::fromLatin1(bottomRight), start + box->value()).status;
        if (!isIgnorable(status)) return status;
    }
    return DeviceStatus::Good;
}

void ScannerAcquireDialog::startScan() {
    if (scan_ && scan_->isRunning()) return;
    const DeviceStatus applied = applyOptions();
    if (applied != DeviceStatus::Good) {
        fail(applied);
        return;
    }
    settings_.mode = modeBox_->currentData().toString();
    settings_.source = sourceBox_->currentData().toString();
    if (resolutionBox_->isEnabled()) settings_.dpi = resolutionBox_->currentData().toInt();
    lockControls();
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    state_->setText(QStringLiteral("Die Seite wird gescannt …"));
    scan_ = std::make_unique<SaneScanThread>(device_);
    connect(scan_.get(), &SaneScanThread::progressed, this, &ScannerAcquireDialog::showProgress,
            Qt::QueuedConnection);
    connect(scan_.get(), &QThread::finished, this, &ScannerAcquireDialog::scanFinished,
            Qt::QueuedConnection);
    scan_->start();
}

void ScannerAcquireDialog::showProgress(int permille) {
    if (permille < 0) {
        progress_->setRange(0, 0);  // a hand scanner: length unknown
    } else {
        progress_->setValue(permille);
    }
}

void ScannerAcquireDialog::reject() {
    if (scan_ && scan_->isRunning()) {
        // Close once the worker has let go of the device.
        closeWhenStopped_ = true;
        cancelButton_->setEnabled(false);
        state_->setText(QStringLiteral("Der Scan wird abgebrochen …"));
        scan_->requestCancel();
        return;
    }
    QDialog::reject();
}

void ScannerAcquireDialog::scanFinished() {
    if (!scan_ || scan_->isRunning()) return;
    const ScanResult result = scan_->result();
    scan_.reset();
    if (closeWhenStopped_ || result.status == DeviceStatus::Cancelled) {
        QDialog::reject();
        return;
    }
    if (result.status != DeviceStatus::Good) {
        fail(result.status);
        return;
    }
    page_ = result.page;
    progress_->setRange(0, 1000);
    progress_->setValue(1000);
    done(NewPage);
}

void ScannerAcquireDialog::fail(DeviceStatus status) {
    state_->clear();
    QMessageBox box(QMessageBox::Warning, QStringLiteral(" Ornavex"), failureText(status),
                    QMessageBox::Ok, this);
    box.exec();
    done(Failed);
}

void ScannerAcquireDialog::lockControls() {
    // The dialog ends with the scan, so nothing is unlocked again.
    for (QWidget* control : std::initializer_list<QWidget*>{modeBox_, resolutionBox_, sourceBox_,
                                                            widthBox_, heightBox_, scanButton_}) {
        control->setEnabled(false);
    }
}

}  // namespace ornavex
