#pragma once

#include <QImage>
#include <QWidget>

namespace ornavex {

// An image control: shows its picture, stretched to the control's size when
// stretching is on, and reports double-clicks. With the focus, Enter counts as
// a double-click.
class ImageControl : public QWidget {
    Q_OBJECT
  public:
    explicit ImageControl(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);
    void clearPicture() { setPicture(QImage()); }

    bool stretch() const { return stretch_; }
    void setStretch(bool stretch);

    // What a double-click reports, for the keyboard and for assistive tools.
    void doubleClick() { emit doubleClicked(); }

  signals:
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    const QImage& stretchedPicture();

    QImage picture_;
    // The picture scaled to the control, kept while neither changes: scaling a
    // full page on every paint would make each repaint cost a scan's worth of pixels.
    QImage stretched_;
    bool stretch_ = false;
};

}  // namespace ornavex
