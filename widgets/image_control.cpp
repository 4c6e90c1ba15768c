#include "widgets/image_control.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

namespace ornavex {
namespace {

constexpr int kFocusFrameWidth = 2;

}  // namespace

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageControl::setPicture(const QImage& picture) {
    picture_ = picture;
    stretched_ = QImage();
    update();
}

void ImageControl::setStretch(bool stretch) {
    stretch_ = stretch;
    update();
}

void ImageControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!picture_.isNull()) {
        if (stretch_) {
            painter.drawImage(QPoint(0, 0), stretchedPicture());
        } else {
            painter.drawImage(QPoint(0, 0), picture_);
        }
    }
    if (hasFocus()) {
        // A frame in the highlight colour: the style's focus rectangle would tint the whole page.
        painter.setPen(QPen(palette().color(QPalette::Highlight), kFocusFrameWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal inset = kFocusFrameWidth / 2.0;
        painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
    }
}

// Drawn by the same painter call as an uncached paint, so the pixels are the same.
const QImage& ImageControl::stretchedPicture() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (stretched_.size() == pixels && stretched_.devicePixelRatio() == ratio) return stretched_;
    const bool opaque = !picture_.hasAlphaChannel();
    stretched_ =
        QImage(pixels, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    stretched_.setDevicePixelRatio(ratio);
    stretched_.fill(Qt::transparent);
    QPainter painter(&stretched_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size())), picture_);
    return stretched_;
}

void ImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

void ImageControl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || modifiers != Qt::NoModifier) return QWidget::keyPressEvent(event);
    event->accept();
    // A held key must not open one dialog after another.
    if (!event->isAutoRepeat()) doubleClick();
}

}  // namespace ornavex
