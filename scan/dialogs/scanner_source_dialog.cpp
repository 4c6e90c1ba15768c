#include "scan/dialogs/scanner_source_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "scan/scanner_client.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

enum Column { VendorColumn, ModelColumn, NameColumn };

}  // namespace

ScannerSourceDialog::ScannerSourceDialog(ScannerClient& scanner, const QString& currentDevice,
                                         std::optional<SaneDeviceInfo> remembered, QWidget* owner)
    : QDialog(owner),
      scanner_(scanner),
      preferred_(currentDevice),
      remembered_(std::move(remembered)) {
    if (preferred_.isEmpty() && remembered_) preferred_ = remembered_->name;
    setWindowTitle(QStringLiteral("Scanner auswählen"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("geraeteListe"));
    // A list takes no name from the label above it; a screen reader would say nothing.
    list_->setAccessibleName(QStringLiteral("Verfügbare Scanner"));
    list_->setHeaderLabels(
        {QStringLiteral("Hersteller"), QStringLiteral("Modell"), QStringLiteral("Gerät")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    busy_ = new QProgressBar(this);
    busy_->setRange(0, 0);  // no end known: a running indicator
    busy_->setTextVisible(false);
    busy_->setAccessibleName(QStringLiteral("Suche nach Scannern"));
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("suchStatus"));
    state_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    searchButton_ = buttons->addButton(QStringLiteral("Neu suchen"), QDialogButtonBox::ActionRole);
    okButton_ = buttons->addButton(okCaption(), QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelCaption(), QDialogButtonBox::RejectRole);
    connect(searchButton_, &QPushButton::clicked, this, &ScannerSourceDialog::search);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScannerSourceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ScannerSourceDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &ScannerSourceDialog::updateButtons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (okButton_->isEnabled()) accept();
    });
    connect(&scanner_, &ScannerClient::devicesFound, this, &ScannerSourceDialog::showDevices);
    connect(&scanner_, &ScannerClient::workerLost, this, &ScannerSourceDialog::searchLost);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Verfügbare Scanner:"), this));
    layout->addWidget(list_);
    layout->addWidget(busy_);
    layout->addWidget(state_);
    layout->addWidget(buttons);
    resize(560, 320);
    search();
}

void ScannerSourceDialog::search() {
    if (searching_) return;
    searching_ = true;
    list_->clear();
    offerRemembered(true);
    busy_->show();
    state_->setText(QStringLiteral("Suche nach Scannern …"));
    updateButtons();
    scanner_.searchDevices();
}

void ScannerSourceDialog::endSearch() {
    // Discovery can't be interrupted inside a driver: end the worker instead.
    if (searching_) scanner_.stopWorker();
    searching_ = false;
}

void ScannerSourceDialog::reject() {
    endSearch();
    QDialog::reject();
}

void ScannerSourceDialog::accept() {
    if (!okButton_->isEnabled()) return;
    endSearch();
    QDialog::accept();
}

void ScannerSourceDialog::showDevices(DeviceStatus status,
                                      const std::vector<SaneDeviceInfo>& devices) {
    if (!searching_) return;
    searching_ = false;
    busy_->hide();
    list_->clear();
    bool rememberedFound = false;
    // Plugged in again under a new name, the remembered scanner is taken as it is now.
    const SaneDeviceInfo* again = remembered_ ? replugged(*remembered_, devices) : nullptr;
    for (const SaneDeviceInfo& device : devices) {
        QTreeWidgetItem* item = addDevice(device);
        if (remembered_ && device.name == remembered_->name) rememberedFound = true;
        if (device.name == preferred_ || (again && device.name == again->name))
            list_->setCurrentItem(item);
    }
    if (remembered_ && !rememberedFound && !again) offerRemembered(false);
    if (!list_->currentItem() && list_->topLevelItemCount() > 0 &&
        (list_->topLevelItem(0)->flags() & Qt::ItemIsEnabled)) {
        list_->setCurrentItem(list_->topLevelItem(0));
    }
    if (status != DeviceStatus::Good) {
        state_->setText(QStringLiteral("Die Scanner konnten nicht abgefragt werden."));
    } else if (devices.empty()) {
        state_->setText(
            QStringLiteral("Es wurde kein Scanner gefunden. Bitte prüfen Sie, ob "
                           "der Scanner angeschlossen und eingeschaltet ist."));
    } else {
        state_->clear();
    }
    updateButtons();
}

QTreeWidgetItem* ScannerSourceDialog::addDevice(const SaneDeviceInfo& device) {
    auto* item = new QTreeWidgetItem(list_, {device.vendor, device.model, device.name});
    item->setData(NameColumn, Qt::UserRole, device.type);
    return item;
}

// While the search runs, the remembered scanner can be taken at once; a search
// that did not find it says so instead of dropping it silently.
void ScannerSourceDialog::offerRemembered(bool available) {
    if (!remembered_) return;
    QTreeWidgetItem* item = addDevice(*remembered_);
    if (available) {
        if (remembered_->name == preferred_) list_->setCurrentItem(item);
        return;
    }
    item->setText(ModelColumn, QStringLiteral("%1 – nicht gefunden").arg(remembered_->model));
    item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    if (list_->currentItem() == item) list_->setCurrentItem(nullptr);
}

void ScannerSourceDialog::searchLost(WorkerLoss loss) {
    if (!searching_) return;
    searching_ = false;
    busy_->hide();
    state_->setText(loss == WorkerLoss::Hung
                        ? QStringLiteral("Die Suche nach Scannern hat zu lange gedauert und wurde "
                                         "abgebrochen. Bitte prüfen Sie die Scanner und suchen "
                                         "Sie mit „Neu suchen“ erneut.")
                        : QStringLiteral("Ein Scannertreiber ist bei der Suche abgestürzt. Bitte "
                                         "prüfen Sie die Scanner und suchen Sie mit „Neu suchen“ "
                                         "erneut."));
    updateButtons();
}

void ScannerSourceDialog::updateButtons() {
    searchButton_->setEnabled(!searching_);
    const QTreeWidgetItem* current = list_->currentItem();
    okButton_->setEnabled(current && (current->flags() & Qt::ItemIsEnabled));
}

QString ScannerSourceDialog::chosenDevice() const {
    if (result() != QDialog::Accepted || !list_->currentItem()) return {};
    return list_->currentItem()->text(NameColumn);
}

std::optional<SaneDeviceInfo> ScannerSourceDialog::chosenInfo() const {
    if (result() != QDialog::Accepted || !list_->currentItem()) return std::nullopt;
    const QTreeWidgetItem* item = list_->currentItem();
    return SaneDeviceInfo{item->text(NameColumn), item->text(VendorColumn), item->text(ModelColumn),
                          item->data(NameColumn, Qt::UserRole).toString()};
}

QString ScannerSourceDialog::chosenLabel() const {
    if (result() != QDialog::Accepted || !list_->currentItem()) return {};
    const QTreeWidgetItem* item = list_->currentItem();
    // Some backends report neither vendor nor model; the device name still tells.
    const QString label =
        QStringLiteral("%1 %2").arg(item->text(VendorColumn), item->text(ModelColumn)).trimmed();
    return label.isEmpty() ? item->text(NameColumn) : label;
}

}  // namespace ornavex
