// Repainting the preview with an A4 600-dpi colour page in it, as a window
// that is moved, uncovered or given the focus repaints it. Prints the median
// time per frame and the first paint after the page arrived.
#include <QApplication>
#include <QPainter>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "widgets/image_control.h"

namespace {

using ornavex::bench::median;
using ornavex::bench::secondsOf;

constexpr int kA4Width = 4960;  // 600 dpi
constexpr int kA4Height = 7016;
constexpr int kFrames = 60;
constexpr double kFrameBudgetMs = 16.0;

// A page as the scanner delivers it: 24-bit colour with text-like detail, so
// the scaling has real work to do.
QImage a4ColourPage() {
    QImage page(kA4Width, kA4Height, QImage::Format_RGB888);
    page.fill(QColor(250, 248, 240));
    QPainter painter(&page);
    quint32 seed = 7;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int line = 0; line < 140; ++line) {
        const int baseline = 1400 + line * 40;
        for (int x = 500; x < kA4Width - 500; x += 28) {
            const int height = 20 + int(next() % 28);
            painter.fillRect(x, baseline - height, 6 + int(next() % 14), height,
                             QColor(int(next() % 60), int(next() % 60), int(next() % 90)));
        }
    }
    painter.fillRect(400, 300, 1200, 600, QColor(200, 30, 40));
    return page;
}

// The preview, counting its paints so that the benchmark knows each frame was drawn.
class CountedPreview : public ornavex::ImageControl {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ImageControl::paintEvent(event);
        ++paints;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CountedPreview preview;
    preview.setStretch(true);
    preview.resize(328, 424);  // the preview's size in the main window
    preview.show();
    QCoreApplication::processEvents();

    // Colour is the figure with the target; gray and lineart pages reach the
    // preview too, in formats the painter cannot draw without converting.
    const QImage colour = a4ColourPage();
    const struct {
        const char* name;
        QImage page;
    } pages[] = {{"colour", colour},
                 {"gray", colour.convertToFormat(QImage::Format_Grayscale8)},
                 {"lineart", colour.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)}};
    std::printf("page: %d x %d, 600 dpi, preview %d x %d\n", colour.width(), colour.height(),
                preview.width(), preview.height());
    double colourMedian = 0;
    for (const auto& [name, page] : pages) {
        preview.setPicture(page);
        bool painted = true;
        auto repaint = [&] {
            const int before = preview.paints;
            const double ms = 1000 * secondsOf([&] { preview.repaint(); });
            painted = painted && preview.paints > before;
            return ms;
        };
        const double firstMs = repaint();
        std::vector<double> frames;
        for (int frame = 0; frame < kFrames; ++frame) frames.push_back(repaint());
        if (!painted) {
            std::fprintf(stderr, "the preview did not paint on every repaint\n");
            return 1;
        }
        const double frameMedian = median(frames);
        if (page.format() == colour.format()) colourMedian = frameMedian;
        std::printf("%-8s first paint %.2f ms, repaint median %.2f ms per frame over %d frames\n",
                    name, firstMs, frameMedian, kFrames);
    }
    std::printf("colour repaint median %.2f ms (target <= %.0f ms)\n", colourMedian,
                kFrameBudgetMs);
    return colourMedian <= kFrameBudgetMs ? 0 : 2;
}
