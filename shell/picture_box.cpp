#include "shell/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace ornavex {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    applyAutoSize();
    update();
}

void PictureBox::setAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    applyAutoSize();
}

void PictureBox::setBackgroundColor(const QColor& color) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, color);
    setPalette(palette);
}

void PictureBox::applyAutoSize() {
    if (autoSize_ && !picture_.isNull()) resize(picture_.size());
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), picture_);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace ornavex
