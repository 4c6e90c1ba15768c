#include "platform/scanner_source_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/sane_session.h"

namespace ornavex {
namespace {

enum Column { VendorColumn, ModelColumn, NameColumn };

}  // namespace

ScannerSourceDialog::ScannerSourceDialog(SaneSession& session, const QString& currentDevice,
                                         QWidget* owner)
    : QDialog(owner), session_(session), preferred_(currentDevice) {
    setWindowTitle(QStringLiteral("Scanner auswählen"));
    setModal(true);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("geraeteListe"));
    list_->setHeaderLabels(
        {QStringLiteral("Hersteller"), QStringLiteral("Modell"), QStringLiteral("Gerät")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    busy_ = new QProgressBar(this);
    busy_->setRange(0, 0);  // no end known: a running indicator
    busy_->setTextVisible(false);
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("suchStatus"));

    auto* buttons = new QDialogButtonBox(this);
    searchButton_ = buttons->addButton(QStringLiteral("Neu suchen"), QDialogButtonBox::ActionRole);
    okButton_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(searchButton_, &QPushButton::clicked, this, &ScannerSourceDialog::search);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &ScannerSourceDialog::updateButtons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (okButton_->isEnabled()) accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Verfügbare Scanner:"), this));
    layout->addWidget(list_);
    layout->addWidget(busy_);
    layout->addWidget(state_);
    layout->addWidget(buttons);
    resize(560, 320);
    search();
}

ScannerSourceDialog::~ScannerSourceDialog() {
    // Discovery cannot be interrupted; the thread must end before it is destroyed.
    if (searcher_) searcher_->wait();
}

bool ScannerSourceDialog::isSearching() const {
    return searcher_ && searcher_->isRunning();
}

void ScannerSourceDialog::search() {
    if (isSearching()) return;
    if (searcher_) searcher_->wait();
    list_->clear();
    busy_->show();
    state_->setText(QStringLiteral("Suche nach Scannern …"));
    searcher_.reset(QThread::create([this] { found_ = session_.listDevices(); }));
    connect(searcher_.get(), &QThread::finished, this, &ScannerSourceDialog::showDevices,
            Qt::QueuedConnection);
    updateButtons();
    searcher_->start();
}

void ScannerSourceDialog::reject() {
    if (!isSearching()) {
        QDialog::reject();
        return;
    }
    closeWhenSearchEnds_ = true;
    state_->setText(QStringLiteral("Die Suche wird beendet …"));
    searchButton_->setEnabled(false);
    okButton_->setEnabled(false);
}

void ScannerSourceDialog::showDevices() {
    if (closeWhenSearchEnds_) {
        QDialog::reject();
        return;
    }
    busy_->hide();
    list_->clear();
    for (const SaneDeviceInfo& device : found_.devices) {
        auto* item = new QTreeWidgetItem(list_, {device.vendor, device.model, device.name});
        if (device.name == preferred_) list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->topLevelItemCount() > 0) {
        list_->setCurrentItem(list_->topLevelItem(0));
    }
    if (found_.status != DeviceStatus::Good) {
        state_->setText(QStringLiteral("Die Scanner konnten nicht abgefragt werden."));
    } else if (found_.devices.empty()) {
        state_->setText(
            QStringLiteral("Es wurde kein Scanner gefunden. Bitte prüfen Sie, ob "
                           "der Scanner angeschlossen und eingeschaltet ist."));
    } else {
        state_->clear();
    }
    updateButtons();
}

void ScannerSourceDialog::updateButtons() {
    searchButton_->setEnabled(!isSearching());
    okButton_->setEnabled(!isSearching() && list_->currentItem() != nullptr);
}

QString ScannerSourceDialog::chosenDevice() const {
    if (result() != QDialog::Accepted || !list_->currentItem()) return {};
    return list_->currentItem()->text(NameColumn);
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
