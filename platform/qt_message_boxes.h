#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_boxes.h"

namespace ornavex {

class QtMessageBoxes : public MessageBoxes {
  public:
    // Boxes are owned by the given window once it is set.
    void setOwner(QWidget* owner) { owner_ = owner; }
    MessageAnswer show(const MessageBoxRequest& request) override;

  private:
    QPointer<QWidget> owner_;
};

}  // namespace ornavex
