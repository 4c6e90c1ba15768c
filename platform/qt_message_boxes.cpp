#include "platform/qt_message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace ornavex {
namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQtButton(MessageAnswer answer) {
    switch (answer) {
        case MessageAnswer::Ok:
            return QMessageBox::Ok;
        case MessageAnswer::Cancel:
            return QMessageBox::Cancel;
        case MessageAnswer::Yes:
            return QMessageBox::Yes;
        case MessageAnswer::No:
            return QMessageBox::No;
        case MessageAnswer::Retry:
        case MessageAnswer::Elsewhere:
            break;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons toQtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return QMessageBox::Ok;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::RetryElsewhereCancel:
            return QMessageBox::NoButton;  // German buttons of our own
    }
    return QMessageBox::Ok;
}

MessageAnswer fromQtButton(int button, MessageButtons buttons) {
    switch (button) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        default:
            break;
    }
    // Closed by the window's close box or Escape.
    switch (buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::OkCancel:
        case MessageButtons::RetryElsewhereCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

// Escape and the close box cancel; nothing else is taken for an answer.
MessageAnswer askRetryElsewhereOrCancel(QMessageBox& box, MessageAnswer defaultAnswer) {
    QPushButton* retry = box.addButton(QStringLiteral("Wiederholen"), QMessageBox::AcceptRole);
    QPushButton* elsewhere =
        box.addButton(QStringLiteral("Anderer Ort …"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(cancelButtonCaption(), QMessageBox::RejectRole);
    box.setEscapeButton(cancel);
    box.setDefaultButton(defaultAnswer == MessageAnswer::Elsewhere ? elsewhere
                         : defaultAnswer == MessageAnswer::Cancel  ? cancel
                                                                   : retry);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == retry) return MessageAnswer::Retry;
    if (clicked == elsewhere) return MessageAnswer::Elsewhere;
    return MessageAnswer::Cancel;
}

}  // namespace

QString cancelButtonCaption() {
    return QCoreApplication::translate("Ornavex", "Abbrechen");
}

MessageAnswer QtMessageBoxes::show(const MessageBoxRequest& request) {
    QMessageBox box(toQtIcon(request.icon), request.title, request.text,
                    toQtButtons(request.buttons), owner_.data());
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == MessageButtons::RetryElsewhereCancel)
        return askRetryElsewhereOrCancel(box, request.defaultAnswer);
    if (request.buttons != MessageButtons::Ok)
        box.setDefaultButton(toQtButton(request.defaultAnswer));
    return fromQtButton(box.exec(), request.buttons);
}

}  // namespace ornavex
