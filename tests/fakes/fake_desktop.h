#pragma once

#include <cmath>
#include <vector>

#include "platform/clipboard.h"
#include "platform/process_control.h"
#include "platform/screen.h"
#include "platform/screen_pointer.h"

namespace ornavex {

class FakeScreenPointer : public ScreenPointer {
  public:
    void set(PointerShape next) override { shape = next; }
    PointerShape current() const override { return shape; }
    PointerShape shape = PointerShape::Default;
};

// 96 dpi: 15 twips per pixel.
class FakeScreen : public Screen {
  public:
    QSize sizeInTwips() const override { return sizeTwips; }
    int twipsToPixelsX(double twips) const override { return int(std::lround(twips / 15.0)); }
    int twipsToPixelsY(double twips) const override { return twipsToPixelsX(twips); }
    double pixelsToTwipsX(int pixels) const override { return pixels * 15.0; }
    double pixelsToTwipsY(int pixels) const override { return pixels * 15.0; }
    QSize sizeTwips{1920 * 15, 1080 * 15};
};

class FakeClipboard : public Clipboard {
  public:
    QImage image() const override { return held; }
    void setImage(const QImage& image) override { held = image; }
    QImage held;
};

// Records how the program was asked to end.
class FakeProcessControl : public ProcessControl {
  public:
    void terminateImmediately(int exitCode) override { terminations.push_back(exitCode); }
    void quit(int exitCode) override { quits.push_back(exitCode); }
    std::vector<int> terminations;
    std::vector<int> quits;
};

}  // namespace ornavex
