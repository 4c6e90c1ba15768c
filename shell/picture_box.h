#pragma once

#include <QImage>
#include <QWidget>

namespace ornavex {

// A picture box: a plain rectangle with a background colour that may hold a
// picture at its own size, and may size itself to that picture.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);
    void clearPicture() { setPicture(QImage()); }
    bool hasPicture() const { return !picture_.isNull(); }

    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool autoSize);

    void setBackgroundColor(const QColor& color);

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void applyAutoSize();

    QImage picture_;
    bool autoSize_ = false;
};

}  // namespace ornavex
