// Acquires an A4 page at 300 dpi in colour from the test device through the
// scanner layer and through scanimage, and prints times and memory.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "platform/sane_device.h"
#include "platform/sane_session.h"

namespace {

using ornavex::bench::median;
using ornavex::bench::secondsOf;

using ornavex::DeviceStatus;

constexpr int kRuns = 5;
constexpr double kRawPageBytes = 2480.0 * 3508.0 * 3.0;

double statusKilobytes(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toDouble();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
    QCoreApplication app(argc, argv);

    std::vector<double> ours;
    double idleKb = 0;
    QSize size;
    {
        ornavex::SaneSession session;
        const std::unique_ptr<ornavex::SaneDevice> opened =
            ornavex::bench::openA4ColourTestDevice(session);
        if (!opened) return 1;
        ornavex::SaneDevice& device = *opened;
        const std::atomic<bool> noCancel = false;
        idleKb = statusKilobytes("VmRSS:");
        for (int run = 0; run < kRuns; ++run) {
            ours.push_back(secondsOf([&] {
                const ornavex::ScanResult result = device.scanPage({}, noCancel);
                if (result.status != DeviceStatus::Good) std::fprintf(stderr, "scan failed\n");
                size = result.page.size();
            }));
        }
    }
    const double peakKb = statusKilobytes("VmHWM:");

    QTemporaryDir folder;
    std::vector<double> reference;
    for (int run = 0; run < kRuns; ++run) {
        reference.push_back(secondsOf([&] {
            QProcess scanimage;
            scanimage.start("scanimage",
                            {"-d", "test:0", "--mode", "Color", "--test-picture", "Color pattern",
                             "--resolution", "300", "-x", "210", "-y", "297", "--format=pnm", "-o",
                             folder.filePath("page.pnm")});
            scanimage.waitForFinished(-1);
        }));
    }

    const double oursMedian = median(ours);
    const double referenceMedian = median(reference);
    const double aboveIdle = (peakKb - idleKb) * 1024.0;
    std::printf("page: %d x %d colour, 300 dpi\n", size.width(), size.height());
    std::printf("ornavex scan layer: median %.3f s over %d runs\n", oursMedian, kRuns);
    std::printf("scanimage to PNM:   median %.3f s over %d runs\n", referenceMedian, kRuns);
    std::printf("time ratio: %.2f (target <= 1.20)\n", oursMedian / referenceMedian);
    std::printf("peak memory above idle: %.1f MB = %.2f x raw page (target <= 2.50)\n",
                aboveIdle / 1e6, aboveIdle / kRawPageBytes);
    return 0;
}
