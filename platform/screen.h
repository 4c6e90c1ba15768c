#pragma once

#include <QSize>

namespace ornavex {

// Screen metrics. The logic measures windows in twips; the screen converts.
class Screen {
  public:
    virtual ~Screen() = default;
    virtual QSize sizeInTwips() const = 0;
    virtual int twipsToPixelsX(double twips) const = 0;
    virtual int twipsToPixelsY(double twips) const = 0;
    virtual double pixelsToTwipsX(int pixels) const = 0;
    virtual double pixelsToTwipsY(int pixels) const = 0;
};

}  // namespace ornavex
