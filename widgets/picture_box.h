#pragma once

#include <QImage>
#include <QWidget>

namespace ornavex {

// A picture box: a plain rectangle with a background colour that may hold a
// picture at its own size. One that acts as a button takes the focus from the
// Tab key and is pressed with Space or Enter as well as with the mouse.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    void setBackgroundColor(const QColor& color);

    bool actsAsButton() const { return actsAsButton_; }
    void setActsAsButton(bool actsAsButton);
    // Presses it as a click does.
    void click() { emit clicked(); }

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QImage picture_;
    bool actsAsButton_ = false;
};

}  // namespace ornavex
