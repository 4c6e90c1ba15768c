#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_boxes.h"

namespace ornavex {

class QtMessageBoxes : public MessageBoxes {
  public:
    // Boxes are owned by the given window once it is set.
    void setOwner(QWidget* owner) { owner_ = owner; }
    // A box that leaves the owner window's close request through; the answer
    // comes from the event loop once the user gives it.
    void ask(const MessageBoxRequest& request, AnswerHandler then) override;

    void bringToFront() override;

  private:
    QPointer<QWidget> owner_;
    QList<QPointer<QWidget>> open_;
};

}  // namespace ornavex
