#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace ornavex {

// While the window waits for work elsewhere, the user's clicks and keys are
// dropped instead of queued, so nothing the user did meanwhile runs later
// inside the waiting command. A request to close a window still gets through:
// a wait must never keep the program from ending, which
// QEventLoop::ExcludeUserInputEvents would, since it holds back close requests too.
class UserInputBlocker : public QObject {
  public:
    UserInputBlocker() {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->installEventFilter(this);
        }
    }

    static bool isUserInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
                return true;
            default:
                return false;
        }
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override { return isUserInput(event->type()); }
};

}  // namespace ornavex
