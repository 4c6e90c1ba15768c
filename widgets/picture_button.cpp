#include "widgets/picture_button.h"

#include <QKeyEvent>

namespace ornavex {

void PictureButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // A held key must not start one scan after another.
        if (!event->isAutoRepeat()) click();
        event->accept();
        return;
    }
    QToolButton::keyPressEvent(event);
}

}  // namespace ornavex
