#pragma once

#include <QImage>
#include <QWidget>

namespace ornavex {

// An image control: shows its picture, stretched to the control's size when
// stretching is on, and reports presses and double-clicks. With the focus,
// Enter counts as a double-click and the menu key or Shift+F10 as a press of
// the right button in its middle.
class ImageControl : public QWidget {
    Q_OBJECT
  public:
    explicit ImageControl(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);
    void clearPicture() { setPicture(QImage()); }
    bool hasPicture() const { return !picture_.isNull(); }

    bool stretch() const { return stretch_; }
    void setStretch(bool stretch);

    // What a double-click and a right-button press report, for the keyboard
    // and for assistive tools.
    void doubleClick() { emit doubleClicked(); }
    void pressRightButton();

  signals:
    void doubleClicked();
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    const QImage& stretchedPicture();

    QImage picture_;
    // The picture scaled to the control, kept while neither changes: scaling a
    // full page on every paint would make each repaint cost a scan's worth of pixels.
    QImage stretched_;
    bool stretch_ = false;
};

}  // namespace ornavex
