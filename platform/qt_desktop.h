#pragma once

#include <functional>

#include "platform/clipboard.h"
#include "platform/process_control.h"
#include "platform/screen.h"
#include "platform/screen_pointer.h"

namespace ornavex {

class QtScreenPointer : public ScreenPointer {
  public:
    ~QtScreenPointer() override;
    void set(PointerShape shape) override;
    PointerShape current() const override { return shape_; }

  private:
    PointerShape shape_ = PointerShape::Default;
};

// Twips follow the primary screen's logical DPI (15 twips per pixel at 96 dpi).
class QtScreen : public Screen {
  public:
    QSize sizeInTwips() const override;
    int twipsToPixelsX(double twips) const override;
    int twipsToPixelsY(double twips) const override;
    double pixelsToTwipsX(int pixels) const override;
    double pixelsToTwipsY(int pixels) const override;
};

class QtClipboard : public Clipboard {
  public:
    QImage image() const override;
    void setImage(const QImage& image) override;
    void setPage(const QImage& picture, int rowsFile) override;
};

class UnixProcessControl : public ProcessControl {
  public:
    // Runs before the process ends at once (removes the instance socket).
    void setBeforeTermination(std::function<void()> cleanup) { cleanup_ = std::move(cleanup); }
    void terminateImmediately(int exitCode) override;
    void quit(int exitCode) override;

  private:
    std::function<void()> cleanup_;
};

}  // namespace ornavex
