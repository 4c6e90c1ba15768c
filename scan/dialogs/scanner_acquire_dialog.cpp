#include "scan/dialogs/scanner_acquire_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "page/picture_store.h"
#include "platform/message_boxes.h"
#include "scan/scanner_client.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

constexpr std::array<int, 8> kUsualResolutions = {75, 100, 150, 200, 300, 400, 600, 1200};
constexpr int kPreviewRepaintMs = 100;
const QSize kPreviewSize(220, 300);

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
        case DeviceStatus::TooLarge:
            return QStringLiteral(
                "Die Seite wäre zu groß, um sie später wieder zu öffnen.\nBitte wählen "
                "Sie eine niedrigere Auflösung oder einen kleineren Scanbereich.");
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

QString ScannerAcquireDialog::failureText(DeviceStatus status, bool networkDevice) {
    if (status == DeviceStatus::IoError && networkDevice) {
        return QStringLiteral(
            "Die Verbindung zum Scanner ist gestört.\nBitte prüfen Sie die "
            "Netzwerkverbindung zum Scanner und ob er eingeschaltet ist.");
    }
    return failureText(status);
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

ScannerAcquireDialog::ScannerAcquireDialog(ScannerClient& scanner,
                                           const std::vector<SaneOptionInfo>& options,
                                           ScanSettings& settings, MessageBoxes& messages,
                                           const QString& title, QWidget* owner)
    : QDialog(owner),
      scanner_(scanner),
      options_(options),
      settings_(settings),
      messages_(messages) {
    setWindowTitle(QStringLiteral("Scannen – %1").arg(title));
    modeBox_ = new QComboBox(this);
    modeBox_->setObjectName(QStringLiteral("modus"));
    resolutionBox_ = new QComboBox(this);
    resolutionBox_->setObjectName(QStringLiteral("aufloesung"));
    sourceBox_ = new QComboBox(this);
    sourceBox_->setObjectName(QStringLiteral("quelle"));
    widthBox_ = new QDoubleSpinBox(this);
    widthBox_->setObjectName(QStringLiteral("breite"));
    heightBox_ = new QDoubleSpinBox(this);
    heightBox_->setObjectName(QStringLiteral("hoehe"));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(QStringLiteral("Fortschritt des Scans"));
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("scanStatus"));
    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("vorschau"));
    preview_->setAccessibleName(QStringLiteral("Vorschau der Seite"));
    preview_->setFixedSize(kPreviewSize);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);

    auto* buttons = new QDialogButtonBox(this);
    scanButton_ = buttons->addButton(QStringLiteral("Scannen"), QDialogButtonBox::AcceptRole);
    cancelButton_ = buttons->addButton(cancelCaption(), QDialogButtonBox::RejectRole);
    scanButton_->setDefault(true);
    connect(scanButton_, &QPushButton::clicked, this, &ScannerAcquireDialog::startScan);
    connect(cancelButton_, &QPushButton::clicked, this, &ScannerAcquireDialog::reject);
    connect(&scanner_, &ScannerClient::scanProgressed, this, &ScannerAcquireDialog::showProgress);
    connect(&scanner_, &ScannerClient::pageEnded, this, &ScannerAcquireDialog::pageEnded);
    connect(&scanner_, &ScannerClient::scanEnded, this, &ScannerAcquireDialog::scanEnded);
    connect(&scanner_, &ScannerClient::workerLost, this, &ScannerAcquireDialog::workerLost);
    previewTimer_.setInterval(kPreviewRepaintMs);
    connect(&previewTimer_, &QTimer::timeout, this, &ScannerAcquireDialog::showPageSoFar);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Modus:"), modeBox_);
    form->addRow(QStringLiteral("Auflösung:"), resolutionBox_);
    form->addRow(QStringLiteral("Quelle:"), sourceBox_);
    form->addRow(QStringLiteral("Breite:"), widthBox_);
    form->addRow(QStringLiteral("Höhe:"), heightBox_);
    auto* settingsColumn = new QVBoxLayout;
    settingsColumn->addLayout(form);
    settingsColumn->addStretch();
    settingsColumn->addWidget(progress_);
    settingsColumn->addWidget(state_);
    auto* columns = new QHBoxLayout;
    columns->addLayout(settingsColumn, 1);
    columns->addWidget(preview_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);
    buildOptions();
}

const SaneOptionInfo* ScannerAcquireDialog::option(const char* name) const {
    const QString wanted = QString::fromLatin1(name);
    const auto found = std::find_if(options_.begin(), options_.end(),
                                    [&](const SaneOptionInfo& o) { return o.name == wanted; });
    return found == options_.end() ? nullptr : &*found;
}

void ScannerAcquireDialog::buildOptions() {
    fillChoices(sourceBox_, "source", settings_.source, &sourceLabel);
    fillChoices(modeBox_, "mode", settings_.mode, &modeLabel);
    fillResolutions();
    fillArea();
}

void ScannerAcquireDialog::fillChoices(QComboBox* box, const char* optionName,
                                       const QString& preferred, QString (*label)(const QString&)) {
    const SaneOptionInfo* info = option(optionName);
    const bool offered =
        info && info->active && info->settable && info->constraint == SaneConstraint::StringList;
    box->setEnabled(offered);
    if (!offered) return;
    for (const QString& value : info->strings) box->addItem(label(value), value);
    int index = box->findData(preferred.isEmpty() ? info->text : preferred);
    if (index < 0) index = box->findData(info->text);
    box->setCurrentIndex(std::max(0, index));
}

void ScannerAcquireDialog::fillResolutions() {
    const SaneOptionInfo* info = option("resolution");
    const bool offered = info && info->active && info->settable;
    resolutionBox_->setEnabled(offered);
    if (!offered) return;
    std::vector<int> values;
    // Only what can be opened again: a Legal page at this resolution fits the largest page.
    const auto offerable = [](int dpi) { return dpi > 0 && dpi <= LargestPage::kDpi; };
    if (info->constraint == SaneConstraint::WordList) {
        for (double word : info->words) {
            const auto dpi = static_cast<int>(std::lround(word));
            if (offerable(dpi)) values.push_back(dpi);
        }
    } else if (info->constraint == SaneConstraint::Range) {
        for (int dpi : kUsualResolutions) {
            if (dpi >= info->minimum && dpi <= info->maximum && offerable(dpi)) {
                values.push_back(dpi);
            }
        }
    }
    if (values.empty()) values.push_back(std::min(settings_.dpi, int(LargestPage::kDpi)));
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
    const std::array<std::tuple<QDoubleSpinBox*, const char*, const char*>, 2> sides = {
        std::tuple{widthBox_, "tl-x", "br-x"}, std::tuple{heightBox_, "tl-y", "br-y"}};
    for (const auto& [box, topLeft, bottomRight] : sides) {
        const SaneOptionInfo* info = option(bottomRight);
        const bool offered =
            info && info->active && info->settable && info->constraint == SaneConstraint::Range;
        box->setEnabled(offered);
        // Some devices give the area in pixels rather than millimetres.
        const bool pixels = info && info->unit == SaneUnit::Pixel;
        box->setSuffix(pixels ? QStringLiteral(" Pixel") : QStringLiteral(" mm"));
        box->setDecimals(pixels ? 0 : 1);
        if (!offered) continue;
        box->setRange(std::max(1.0, info->minimum), info->maximum);
        // The device's own page size where it tells one, else the whole area.
        const SaneOptionInfo* origin = option(topLeft);
        const double start = origin ? origin->minimum : 0.0;
        const bool told = info->hasValue && info->number > start;
        box->setValue(told ? info->number - start : info->maximum);
    }
}

ScanRequest ScannerAcquireDialog::chosenRequest() const {
    ScanRequest request;
    if (sourceBox_->isEnabled()) request.source = sourceBox_->currentData().toString();
    if (modeBox_->isEnabled()) request.mode = modeBox_->currentData().toString();
    if (resolutionBox_->isEnabled()) request.dpi = resolutionBox_->currentData().toInt();
    if (widthBox_->isEnabled()) request.width = widthBox_->value();
    if (heightBox_->isEnabled()) request.height = heightBox_->value();
    return request;
}

void ScannerAcquireDialog::startScan() {
    if (scanning_) return;
    const ScanRequest request = chosenRequest();
    if (!request.mode.isEmpty()) settings_.mode = request.mode;
    if (!request.source.isEmpty()) settings_.source = request.source;
    if (request.dpi > 0) settings_.dpi = request.dpi;
    lockControls();
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    state_->setText(QStringLiteral("Die Seite wird gescannt …"));
    scanning_ = true;
    shownLines_ = 0;
    page_ = QImage();
    pageMemory_.reset();
    pageStatus_ = DeviceStatus::Failed;
    previewTimer_.start();
    scanner_.scan(request);
}

void ScannerAcquireDialog::showProgress(int permille) {
    if (!scanning_) return;
    if (permille < 0) {
        progress_->setRange(0, 0);  // a hand scanner: length unknown
    } else {
        progress_->setValue(permille);
    }
}

void ScannerAcquireDialog::showPageSoFar() {
    const QImage rows = page_.isNull() ? scanner_.pageSoFar() : page_;
    if (rows.isNull() || rows.height() == shownLines_) return;
    shownLines_ = rows.height();
    // Scaled for the whole page, so the picture grows downwards at a steady size.
    const QSize full = page_.isNull() ? scanner_.pageSize() : page_.size();
    const QSize fitted = full.scaled(kPreviewSize, Qt::KeepAspectRatio);
    if (fitted.isEmpty()) return;
    QPixmap canvas(fitted);
    canvas.fill(palette().color(QPalette::Mid));
    QPainter painter(&canvas);
    const double scale = double(fitted.width()) / full.width();
    painter.drawImage(QRectF(0, 0, fitted.width(), rows.height() * scale), rows);
    painter.end();
    preview_->setPixmap(canvas);
}

void ScannerAcquireDialog::reject() {
    if (failing_) return;  // the failure's box ends the dialog
    if (scanning_) {
        // Close once the worker has let go of the page.
        closeWhenStopped_ = true;
        cancelButton_->setEnabled(false);
        state_->setText(QStringLiteral("Der Scan wird abgebrochen …"));
        scanner_.cancelScan();
        return;
    }
    QDialog::reject();
}

void ScannerAcquireDialog::pageEnded(DeviceStatus status, const QImage& page) {
    if (!scanning_) return;
    pageStatus_ = status;
    if (status == DeviceStatus::Good && !closeWhenStopped_) {
        page_ = page;
        pageMemory_ = scanner_.endedPageMemory();
        progress_->setRange(0, 1000);
        progress_->setValue(1000);
        showPageSoFar();
    }
}

void ScannerAcquireDialog::scanEnded() {
    if (!scanning_) return;
    scanning_ = false;
    previewTimer_.stop();
    if (!page_.isNull()) {
        done(NewPage);
    } else if (closeWhenStopped_ || pageStatus_ == DeviceStatus::Cancelled) {
        QDialog::reject();
    } else {
        fail(pageStatus_);
    }
}

void ScannerAcquireDialog::workerLost(WorkerLoss loss) {
    // Also between pages: a fresh worker would not have the device open.
    scanning_ = false;
    previewTimer_.stop();
    loss_ = loss;
    // What arrived in full is kept, whatever happens after it.
    if (!page_.isNull()) {
        done(NewPage);
    } else if (closeWhenStopped_) {
        QDialog::reject();
    } else {
        done(Lost);
    }
}

void ScannerAcquireDialog::fail(DeviceStatus status) {
    state_->clear();
    failing_ = true;
    cancelButton_->setEnabled(false);
    // Told from the event loop: the end of a page arrives inside the client's reading.
    QTimer::singleShot(0, this, [this, status] {
        messages_.ask({messageTitle(), failureText(status, networkDevice_),
                       MessageIcon::Exclamation, MessageButtons::Ok},
                      [dialog = QPointer(this)](MessageAnswer) {
                          if (dialog) dialog->done(Failed);
                      });
    });
}

void ScannerAcquireDialog::lockControls() {
    // The dialog ends with the scan, so nothing is unlocked again.
    for (QWidget* control : std::initializer_list<QWidget*>{modeBox_, resolutionBox_, sourceBox_,
                                                            widthBox_, heightBox_, scanButton_}) {
        control->setEnabled(false);
    }
}

}  // namespace ornavex
