// The stretched preview keeps a scaled copy of its picture: it must show what
// an uncached paint shows, and follow a new picture and a new size.
#include <gtest/gtest.h>

#include <QPainter>

#include "widgets/image_control.h"

namespace ornavex {
namespace {

QImage stripes(QSize size, QColor first, QColor second) {
    QImage picture(size, QImage::Format_RGB888);
    QPainter painter(&picture);
    for (int x = 0; x < size.width(); x += 7) {
        painter.fillRect(x, 0, 7, size.height(), (x / 7) % 2 ? first : second);
    }
    return picture;
}

// What the control showed before it kept a copy: the picture drawn straight onto it.
QImage drawnStraight(const QImage& picture, QSize size) {
    QImage expected(size, QImage::Format_RGB32);
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), picture);
    return expected;
}

QImage shown(ImageControl& control) {
    return control.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(ImageControlTest, StretchedPictureFollowsNewPicturesAndSizes) {
    ImageControl control;
    control.setStretch(true);
    control.resize(97, 61);
    const QImage first = stripes({1200, 900}, Qt::red, Qt::white);
    control.setPicture(first);
    EXPECT_EQ(shown(control), drawnStraight(first, {97, 61}));

    control.resize(150, 40);
    EXPECT_EQ(shown(control), drawnStraight(first, {150, 40}));

    const QImage second = stripes({1200, 900}, Qt::blue, Qt::black);
    control.setPicture(second);
    EXPECT_EQ(shown(control), drawnStraight(second, {150, 40}));
}

}  // namespace
}  // namespace ornavex
