// Acquires an A4 page at 300 dpi in colour from the test device through the
// scanner worker into the preview, and through scanimage, and prints times and
// the memory of window and worker together. Also: how long a first scan waits
// for a fresh worker to be ready, beside scanimage -L.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "widgets/image_control.h"

namespace {

using ornavex::bench::median;
using ornavex::bench::secondsOf;

constexpr int kRuns = 5;
constexpr double kRawPageBytes = 2480.0 * 3508.0 * 3.0;

double workerReadySeconds() {
    ornavex::ScannerClient client(ornavex::bench::benchWorker());
    bool ready = false;
    QObject::connect(&client, &ornavex::ScannerClient::workerReady, [&] { ready = true; });
    return secondsOf([&] {
        client.searchDevices();  // the first request starts the worker
        ornavex::bench::waitFor([&] { return ready; });
    });
}

double runSeconds(const QString& program, const QStringList& arguments) {
    return secondsOf([&] {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(60000);
    });
}

}  // namespace

int main(int argc, char** argv) {
    ornavex::bench::useBenchEnvironment();
    QApplication app(argc, argv);

    std::vector<double> ours;
    QSize size;
    double idleKb = 0;
    double peakKb = 0;
    {
        ornavex::ScannerClient client(ornavex::bench::benchWorker());
        if (!ornavex::bench::openTestDevice(client)) return 1;
        const long worker = client.workerPid();
        const auto together = [worker] {
            return ornavex::bench::pssKilobytes(0) + ornavex::bench::pssKilobytes(worker);
        };
        ornavex::ImageControl preview;
        preview.setStretch(true);
        preview.resize(328, 424);
        const auto scanIntoPreview = [&] {
            const QImage page = ornavex::bench::scanPage(client, ornavex::bench::a4ColourRequest());
            if (page.isNull()) std::fprintf(stderr, "scan failed\n");
            preview.setPicture(page);
            QCoreApplication::processEvents();
            size = page.size();
        };
        for (int run = 0; run < kRuns; ++run) ours.push_back(secondsOf(scanIntoPreview));

        // Memory in runs of its own: sampling the other process slows it down.
        preview.setPicture(QImage());
        idleKb = together();
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout,
                         [&] { peakKb = std::max(peakKb, together()); });
        sampler.start(5);
        for (int run = 0; run < kRuns; ++run) {
            scanIntoPreview();
            peakKb = std::max(peakKb, together());
        }
    }

    QTemporaryDir folder;
    std::vector<double> reference;
    for (int run = 0; run < kRuns; ++run) {
        reference.push_back(runSeconds(
            "scanimage",
            {"-d", "test:0", "--mode", "Color", "--test-picture", "Color pattern", "--resolution",
             "300", "-x", "210", "-y", "297", "--format=pnm", "-o", folder.filePath("page.pnm")}));
    }
    std::vector<double> ready;
    std::vector<double> listing;
    for (int run = 0; run < kRuns; ++run) {
        ready.push_back(workerReadySeconds());
        listing.push_back(runSeconds("scanimage", {"-L"}));
    }

    const double oursMedian = median(ours);
    const double referenceMedian = median(reference);
    const double aboveIdle = (peakKb - idleKb) * 1024.0;
    std::printf("page: %d x %d colour, 300 dpi\n", size.width(), size.height());
    std::printf("ornavex worker into the preview: median %.3f s over %d runs\n", oursMedian, kRuns);
    std::printf("scanimage to PNM:                median %.3f s over %d runs\n", referenceMedian,
                kRuns);
    std::printf("time ratio: %.2f (target <= 1.20)\n", oursMedian / referenceMedian);
    std::printf(
        "peak memory above idle, window and worker together (PSS): %.1f MB = %.2f x raw page "
        "(target <= 2.50)\n",
        aboveIdle / 1e6, aboveIdle / kRawPageBytes);
    std::printf("worker ready after the first request (start + sane_init): median %.3f s\n",
                median(ready));
    std::printf("scanimage -L:                                             median %.3f s\n",
                median(listing));
    return 0;
}
