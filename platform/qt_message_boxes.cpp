#include "platform/qt_message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

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

// The buttons of a box that Qt has no standard for.
struct OwnButtons {
    QAbstractButton* retry = nullptr;
    QAbstractButton* elsewhere = nullptr;
};

// Escape and the close box cancel; nothing else is taken for an answer.
OwnButtons addRetryElsewhereCancel(QMessageBox& box, MessageAnswer defaultAnswer) {
    QPushButton* retry = box.addButton(QStringLiteral("Wiederholen"), QMessageBox::AcceptRole);
    QPushButton* elsewhere =
        box.addButton(QStringLiteral("Anderer Ort …"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(cancelButtonCaption(), QMessageBox::RejectRole);
    box.setEscapeButton(cancel);
    box.setDefaultButton(defaultAnswer == MessageAnswer::Elsewhere ? elsewhere
                         : defaultAnswer == MessageAnswer::Cancel  ? cancel
                                                                   : retry);
    return {retry, elsewhere};
}

OwnButtons prepare(QMessageBox& box, const MessageBoxRequest& request) {
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == MessageButtons::RetryElsewhereCancel)
        return addRetryElsewhereCancel(box, request.defaultAnswer);
    if (request.buttons != MessageButtons::Ok)
        box.setDefaultButton(toQtButton(request.defaultAnswer));
    return {};
}

MessageAnswer answerOf(const QMessageBox& box, MessageButtons buttons, OwnButtons own) {
    QAbstractButton* clicked = box.clickedButton();
    if (buttons == MessageButtons::RetryElsewhereCancel) {
        if (clicked && clicked == own.retry) return MessageAnswer::Retry;
        if (clicked && clicked == own.elsewhere) return MessageAnswer::Elsewhere;
        return MessageAnswer::Cancel;
    }
    return fromQtButton(clicked ? box.standardButton(clicked) : QMessageBox::NoButton, buttons);
}

}  // namespace

QString cancelButtonCaption() {
    return QCoreApplication::translate("Ornavex", "Abbrechen");
}

// Not modal in Qt's sense: Qt drops a window manager's close request to a
// window that a modal box blocks. The main window drops the user's input on
// its controls itself while a command waits for the answer.
void QtMessageBoxes::ask(const MessageBoxRequest& request, AnswerHandler then) {
    auto* box = new QMessageBox(toQtIcon(request.icon), request.title, request.text,
                                toQtButtons(request.buttons), owner_.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    const OwnButtons own = prepare(*box, request);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, buttons = request.buttons, own, then = std::move(then)](int) mutable {
                         if (!then) return;
                         const AnswerHandler answered = std::exchange(then, nullptr);
                         answered(answerOf(*box, buttons, own));
                     });
    open_.removeAll(nullptr);
    open_.append(box);
    box->show();
}

void QtMessageBoxes::bringToFront() {
    open_.removeAll(nullptr);
    if (open_.isEmpty()) return;
    QWidget* latest = open_.last();
    latest->raise();
    latest->activateWindow();
}

}  // namespace ornavex
