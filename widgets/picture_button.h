#pragma once

#include <QToolButton>

namespace ornavex {

// A square button that shows only an image. Space and Enter both press it, as
// a keyboard user expects of any button that has the focus.
class PictureButton : public QToolButton {
    Q_OBJECT
  public:
    using QToolButton::QToolButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ornavex
