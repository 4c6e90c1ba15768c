#pragma once

#include <QImage>
#include <QWidget>

namespace ornavex {

// An image control: shows its picture, stretched to the control's size when
// stretching is on, and reports presses and double-clicks.
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

  signals:
    void doubleClicked();
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QImage picture_;
    bool stretch_ = false;
};

}  // namespace ornavex
