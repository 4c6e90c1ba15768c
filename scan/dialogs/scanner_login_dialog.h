#pragma once

#include <QDialog>

class QLineEdit;

namespace ornavex {

// Asks for the user name and password a network scanner wants.
class ScannerLoginDialog : public QDialog {
    Q_OBJECT
  public:
    ScannerLoginDialog(const QString& resource, QWidget* owner);

    QString user() const;
    QString password() const;

    // The device a backend names in its request, without the salt some add.
    static QString deviceOf(const QString& resource);

  private:
    QLineEdit* user_;
    QLineEdit* password_;
};

}  // namespace ornavex
