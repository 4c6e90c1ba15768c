#include "print/preview_layout.h"

#include <cmath>
#include <optional>

namespace ornavex {
namespace {

// The range a scroll bar's maximum can hold.
constexpr double kScrollLimitLow = -32768.0;
constexpr double kScrollLimitHigh = 32767.0;

constexpr double kBarAreaMargin = 400.0;
constexpr double kBarWidthMargin = 380.0;
constexpr double kVerticalBarRightMargin = 120.0;
constexpr double kVerticalBarShortened = 665.0;
constexpr double kVerticalBarWidthForCentring = 255.0;
constexpr double kTwipsPerVerticalStep = 70.0;
constexpr double kHorizontalExtent = 12000.0;
constexpr int kHorizontalBarShownAbove = 90;

// Halves go to the even neighbour, as the default floating-point rounding does.
std::optional<int> scrollMaximum(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= kScrollLimitLow && rounded <= kScrollLimitHigh)) return std::nullopt;
    return static_cast<int>(rounded);
}

void setSize(double& property, double value) {
    if (value >= 0.0) property = value;
}

}  // namespace

PreviewGeometry layOutPreview(double formWidth, double formHeight, bool minimised,
                              int verticalValue, const PreviewGeometry& current) {
    PreviewGeometry g = current;
    if (minimised) return g;
    const double w = formWidth;
    const double h = formHeight;

    g.pageWidth = kPreviewPageWidth;
    g.pageHeight = kPreviewPageHeight;
    // While the page is scrolled the vertical range stays as it was.
    if (verticalValue == 0) {
        if (auto max = scrollMaximum(h / kTwipsPerVerticalStep)) g.verticalMaximum = *max;
    }
    if (auto max = scrollMaximum(kHorizontalExtent - w)) g.horizontalMaximum = *max;

    g.horizontalBarTop = h - (g.horizontalBarHeight + kBarAreaMargin);
    setSize(g.horizontalBarWidth, w - kBarWidthMargin);
    g.horizontalBarVisible = g.horizontalMaximum > kHorizontalBarShownAbove;

    g.verticalBarLeft = w - (g.verticalBarWidth + kVerticalBarRightMargin);
    setSize(g.verticalBarHeight,
            g.horizontalBarVisible ? h - kVerticalBarShortened : h - kBarAreaMargin);

    g.cornerLeft = g.verticalBarLeft;
    g.cornerTop = g.horizontalBarTop;
    g.cornerVisible = g.horizontalBarVisible;

    g.imageWidth = g.pageWidth;
    g.imageHeight = g.pageHeight;
    g.pageLeft = static_cast<float>((w - kVerticalBarWidthForCentring - g.pageWidth) / 2.0);
    return g;
}

float verticalScrollTop(double formHeight, int value) {
    const double factor = formHeight > 8000.0 ? 50.0 : 100.0;
    return static_cast<float>(-(static_cast<double>(value) * factor));
}

float horizontalScrollLeft(double formHeight, int value) {
    const double factor = formHeight > 3000.0 ? 1.6 : 1.2;
    return static_cast<float>(-(static_cast<double>(value) * factor));
}

}  // namespace ornavex
