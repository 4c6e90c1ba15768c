// Storing a scanned A4 page: our JPEG store against cjpeg and Qt's writer.
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "folder/local_document_folder.h"
#include "page/turbo_jpeg_encoder.h"

using namespace ornavex;

namespace {

constexpr int kA4Width = 2480;  // 300 dpi
constexpr int kA4Height = 3508;
constexpr int kRuns = 9;

void drawTextLines(QPainter& painter, quint32& seed) {
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    painter.save();
    painter.translate(kA4Width / 2.0, kA4Height / 2.0);
    painter.rotate(0.4);  // a page laid on the glass slightly askew
    painter.translate(-kA4Width / 2.0, -kA4Height / 2.0);
    for (int line = 0; line < 70; ++line) {
        const int baseline = 700 + line * 40;
        for (int x = 250; x < kA4Width - 250;) {
            const int word = 40 + int(next() % 160);
            for (int letter = x; letter < x + word; letter += 14) {
                const int height = 14 + int(next() % 14);
                painter.fillRect(letter, baseline - height, 3 + int(next() % 7), height,
                                 QColor(25, 25, 30));
            }
            x += word + 24;
        }
    }
    painter.restore();
}

void drawLogo(QPainter& painter) {
    QLinearGradient gradient(200, 150, 900, 450);
    gradient.setColorAt(0, QColor(200, 30, 40));
    gradient.setColorAt(1, QColor(30, 60, 190));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(gradient);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(200, 150, 300, 300));
    painter.fillRect(QRect(550, 200, 700, 200), gradient);
}

void addPaperGrain(QImage& page, quint32 seed) {
    for (int y = 0; y < page.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 29) - 4;
            const QRgb pixel = row[x];
            row[x] = qRgb(std::clamp(qRed(pixel) + grain, 0, 255),
                          std::clamp(qGreen(pixel) + grain, 0, 255),
                          std::clamp(qBlue(pixel) + grain, 0, 255));
        }
    }
}

QImage scannedPage() {
    QImage page(kA4Width, kA4Height, QImage::Format_RGB32);
    page.fill(QColor(246, 244, 236));
    quint32 seed = 4711;
    {
        QPainter painter(&page);
        drawLogo(painter);
        drawTextLines(painter, seed);
    }
    addPaperGrain(page, seed);
    QImage scanned = page.convertToFormat(QImage::Format_RGB888);
    scanned.setDotsPerMeterX(11811);
    scanned.setDotsPerMeterY(11811);
    return scanned;
}

struct Contestant {
    const char* name;
    std::function<void()> run;
    std::vector<double> times;
    double median() {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }
};

// Round by round, so a burst of load on the shared machine hits every
// contestant alike.
void race(std::vector<Contestant>& contestants) {
    for (int round = 0; round < kRuns; ++round)
        for (Contestant& contestant : contestants) {
            const auto start = std::chrono::steady_clock::now();
            contestant.run();
            contestant.times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
}

long statusKb(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLong();
    return -1;
}

// Peak resident memory of one call over what was resident before it.
long peakOverIdleKb(const std::function<void()>& run) {
    QFile clear("/proc/self/clear_refs");
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) return -1;
    clear.close();
    const long idle = statusKb("VmRSS:");
    run();
    return statusKb("VmHWM:") - idle;
}

bool writePnm(const QImage& page, const QString& path) {
    const bool gray = page.format() == QImage::Format_Grayscale8;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QStringLiteral("%1\n%2 %3\n255\n")
                   .arg(gray ? "P5" : "P6")
                   .arg(page.width())
                   .arg(page.height())
                   .toLatin1());
    const qsizetype rowBytes = qsizetype(page.width()) * (gray ? 1 : 3);
    for (int y = 0; y < page.height(); ++y)
        file.write(reinterpret_cast<const char*>(page.constScanLine(y)), rowBytes);
    return true;
}

qint64 sizeOf(const QString& path) {
    return QFile(path).size();
}

void benchPage(const char* kind, const QImage& page, const QString& folder) {
    const QString ours = folder + "/ours.jpg";
    const QString theirs = folder + "/cjpeg.jpg";
    const QString qt = folder + "/qt.jpg";
    const QString pnm = folder + "/page.pnm";

    // What the folder worker runs for each page.
    LocalDocumentFolder folderCalls;
    TurboJpegEncoder preallocated(TurboJpegEncoder::OutputBuffer::Preallocated);
    auto store = [&] {
        if (!folderCalls
                 .writePage(Page(page), ours, PageFormat::Jpeg, 100, ReplacePolicy::ReplaceExisting)
                 .ok())
            std::printf("  store failed\n");
    };
    const long storePeak = peakOverIdleKb(store);

    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    const bool haveCjpeg = !cjpeg.isEmpty() && writePnm(page, pnm);
    const QStringList arguments{"-quality", "100", "-sample", "1x1", "-outfile", theirs, pnm};
    std::vector<Contestant> contestants{{"ours, store with fsync", store, {}},
                                        {"ours, encode only",
                                         [&] {
                                             preallocated.compress(page, 100);
                                             preallocated.endPage();
                                         },
                                         {}},
                                        {"Qt writer (4:2:0)",
                                         [&] {
                                             QImageWriter writer(qt, "jpeg");
                                             writer.setQuality(100);
                                             writer.write(page);
                                         },
                                         {}}};
    if (haveCjpeg)
        contestants.push_back(
            {"cjpeg whole run", [&] { QProcess::execute(cjpeg, arguments); }, {}});
    race(contestants);

    std::printf("%s page %dx%d, median of %d runs:\n", kind, page.width(), page.height(), kRuns);
    const double oursMs = contestants[0].median();
    for (Contestant& contestant : contestants)
        std::printf("  %-26s %8.1f ms  ours/this %.2f\n", contestant.name, contestant.median(),
                    oursMs / contestant.median());
    std::printf("  sizes: ours %lld, cjpeg %lld, Qt %lld bytes\n",
                static_cast<long long>(sizeOf(ours)), static_cast<long long>(sizeOf(theirs)),
                static_cast<long long>(sizeOf(qt)));
    std::printf("  peak memory of a store over idle: %ld KB (page itself %lld KB)\n", storePeak,
                static_cast<long long>(page.sizeInBytes() / 1024));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid()) return 1;
    const QImage colour = scannedPage();
    benchPage("colour", colour, folder.path());
    benchPage("gray", colour.convertToFormat(QImage::Format_Grayscale8), folder.path());
    return 0;
}
