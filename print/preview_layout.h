#pragma once

namespace ornavex {

// Geometry of the preview page form, all in twips. Positions are relative to
// the form's client area; W and H are the form's outer size.
struct PreviewGeometry {
    // PScroller, the white page box.
    float pageLeft = 0.0f;
    float pageTop = 0.0f;
    double pageWidth = 8610.0;
    double pageHeight = 8430.0;
    // PImage inside the page box.
    double imageWidth = 6945.0;
    double imageHeight = 8115.0;
    // ScrollHor, the vertical bar.
    double verticalBarLeft = 11385.0;
    double verticalBarTop = 0.0;
    double verticalBarWidth = 255.0;
    double verticalBarHeight = 10590.0;
    int verticalMaximum = 0;
    // ScrollVer, the horizontal bar.
    double horizontalBarLeft = 0.0;
    double horizontalBarTop = 10575.0;
    double horizontalBarWidth = 11400.0;
    double horizontalBarHeight = 255.0;
    int horizontalMaximum = 0;
    bool horizontalBarVisible = true;
    // PEcke, the corner box between the bars.
    double cornerLeft = 11385.0;
    double cornerTop = 10575.0;
    bool cornerVisible = true;
};

constexpr double kPreviewPageWidth = 12400.0;
constexpr double kPreviewPageHeight = 18000.0;
// The width the form and its frame take when the preview opens.
constexpr double kPreviewFormWidth = 12400.0;

// Lays the form out for its outer size W x H. `verticalValue` is the vertical
// bar's current value. A step whose result a control cannot take (a negative
// size, a maximum outside a scroll bar's range) keeps the previous value.
// A minimised form is left as it is.
PreviewGeometry layOutPreview(double formWidth, double formHeight, bool minimised,
                              int verticalValue, const PreviewGeometry& current);

// Page box top after the vertical bar moved to `value`.
float verticalScrollTop(double formHeight, int value);
// Page box left after the horizontal bar moved to `value`.
float horizontalScrollLeft(double formHeight, int value);

}  // namespace ornavex
