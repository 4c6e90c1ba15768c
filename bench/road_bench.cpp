// The whole road of one page: an A4 300-dpi colour page from SANE's test device
// into the preview and stored as JPEG quality 100, against scanimage piped into
// cjpeg on the same page in the same run. Prints medians and the ratio.
#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "folder/folder_worker_client.h"
#include "widgets/image_control.h"

namespace {

using ornavex::bench::median;
using ornavex::bench::secondsOf;

constexpr int kRuns = 5;

}  // namespace

int main(int argc, char** argv) {
    ornavex::bench::useBenchEnvironment();
    QApplication app(argc, argv);
    QTemporaryDir folder;

    std::vector<double> ours;
    QSize size;
    qint64 ourBytes = 0;
    {
        ornavex::ScannerClient client(ornavex::bench::benchWorker());
        if (!ornavex::bench::openTestDevice(client)) return 1;
        // Stored as the window stores it: through the program's folder worker.
        ornavex::FolderWorkerClient folderWorker(
            {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--folder-worker")}});
        ornavex::ImageControl preview;
        preview.setStretch(true);
        preview.resize(328, 424);
        const QString path = folder.filePath("ours.jpg");
        for (int run = 0; run < kRuns; ++run) {
            ours.push_back(secondsOf([&] {
                const QImage page =
                    ornavex::bench::scanPage(client, ornavex::bench::a4ColourRequest());
                preview.setPicture(page);
                QCoreApplication::processEvents();
                const ornavex::PageWriteResult written = ornavex::bench::answerOf(
                    [&](auto then) {
                        folderWorker.askWritePage(ornavex::Page(preview.picture()), path,
                                                  ornavex::PageFormat::Jpeg, 100,
                                                  ornavex::ReplacePolicy::ReplaceExisting, then);
                    },
                    ornavex::PageWriteResult{ornavex::PageWriteStatus::NoAnswer, 0});
                if (!written.ok()) std::fprintf(stderr, "store failed\n");
                size = page.size();
            }));
        }
        ourBytes = QFileInfo(path).size();
    }

    std::vector<double> reference;
    const QString command =
        QStringLiteral(
            "scanimage -d test:0 --mode Color --test-picture 'Color pattern' --resolution 300 "
            "-x 210 -y 297 --format=pnm | cjpeg -quality 100 -sample 1x1 > '%1'")
            .arg(folder.filePath("reference.jpg"));
    for (int run = 0; run < kRuns; ++run) {
        reference.push_back(secondsOf([&] {
            QProcess shell;
            shell.start("bash", {"-c", command});
            shell.waitForFinished(-1);
        }));
    }
    const qint64 referenceBytes = QFileInfo(folder.filePath("reference.jpg")).size();

    const double oursMedian = median(ours);
    const double referenceMedian = median(reference);
    std::printf("page: %d x %d colour, 300 dpi\n", size.width(), size.height());
    std::printf("ornavex scan + preview + JPEG q100 4:4:4: median %.3f s (%lld bytes)\n",
                oursMedian, static_cast<long long>(ourBytes));
    std::printf("scanimage | cjpeg -quality 100 -sample 1x1: median %.3f s (%lld bytes)\n",
                referenceMedian, static_cast<long long>(referenceBytes));
    std::printf("time ratio: %.2f (target <= 1.20)\n", oursMedian / referenceMedian);
    return 0;
}
