#include "scan/dialogs/scanner_login_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/user_texts.h"

namespace ornavex {

ScannerLoginDialog::ScannerLoginDialog(const QString& resource, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Anmeldung am Scanner"));
    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("benutzer"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("passwort"));
    password_->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(okCaption(), QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelCaption(), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Benutzername:"), user_);
    form->addRow(QStringLiteral("Passwort:"), password_);
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(
        QStringLiteral("Der Scanner „%1“ verlangt eine Anmeldung.").arg(deviceOf(resource)), this);
    question->setWordWrap(true);
    layout->addWidget(question);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString ScannerLoginDialog::user() const {
    return user_->text();
}

QString ScannerLoginDialog::password() const {
    return password_->text();
}

QString ScannerLoginDialog::deviceOf(const QString& resource) {
    const qsizetype salt = resource.indexOf(QLatin1String("$MD5$"));
    return salt < 0 ? resource : resource.left(salt);
}

}  // namespace ornavex
