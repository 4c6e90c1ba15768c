// Scans A4 colour pages at 600 dpi one after another through the whole program
// (the scanner dialogs driven by a timer, the page into the preview, stored as
// JPEG) and prints the peak memory of window and worker together over idle.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/application.h"
#include "bench/bench_support.h"
#include "platform/message_boxes.h"
#include "platform/real_platform_services.h"
#include "scan/dialogs/scanner_acquire_dialog.h"
#include "scan/dialogs/scanner_source_dialog.h"
#include "scan/sane_scanner_library.h"
#include "shell/root.h"

namespace {

constexpr int kPages = 4;
// 210 x 297 mm at 600 dpi in colour.
constexpr double kRawPageBytes = 4960.0 * 7014.0 * 3.0;

class AnswerOk : public ornavex::MessageBoxes {
  public:
    ornavex::MessageAnswer show(const ornavex::MessageBoxRequest&) override {
        return ornavex::MessageAnswer::Ok;
    }
};

QPushButton* button(QWidget& dialog, const QString& text) {
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
        if (candidate->text() == text) return candidate;
    }
    return nullptr;
}

// Plays the user: the test device, A4 colour at 600 dpi, "Scannen".
void answerDialogs() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* source = qobject_cast<ornavex::ScannerSourceDialog*>(modal)) {
        auto* list = source->findChild<QTreeWidget*>(QStringLiteral("geraeteListe"));
        if (source->isSearching()) return;
        const auto found = list->findItems(QStringLiteral("test:0"), Qt::MatchExactly, 2);
        if (!found.isEmpty()) list->setCurrentItem(found.first());
        button(*source, QStringLiteral("OK"))->click();
    } else if (auto* acquire = qobject_cast<ornavex::ScannerAcquireDialog*>(modal)) {
        QPushButton* scan = button(*acquire, QStringLiteral("Scannen"));
        if (!scan->isEnabled()) return;
        auto* resolution = acquire->findChild<QComboBox*>(QStringLiteral("aufloesung"));
        resolution->setCurrentIndex(resolution->findText(QStringLiteral("600 dpi")));
        auto* mode = acquire->findChild<QComboBox*>(QStringLiteral("modus"));
        mode->setCurrentIndex(mode->findText(QStringLiteral("Farbe")));
        scan->click();
    }
}

}  // namespace

int main(int argc, char** argv) {
    ornavex::bench::useBenchEnvironment();
    QApplication qtApp(argc, argv);
    QTemporaryDir folder;

    ornavex::PlatformServices platform =
        ornavex::makeRealPlatformServices(
            {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--folder-worker")}})
            .services;
    platform.messageBoxes = std::make_unique<AnswerOk>();
    auto library = std::make_unique<ornavex::SaneScannerLibrary>(
        *platform.clipboard, *platform.messageBoxes, QString(), ornavex::bench::benchWorker());
    ornavex::ScannerClient& client = library->client();
    platform.scanner = std::move(library);
    ornavex::Application app(platform, folder.filePath(QStringLiteral("ornavex.ini")));
    ornavex::Root& root = app.root();
    root.setFolder(folder.path() + QLatin1Char('/'));
    root.show();

    QTimer user;
    QObject::connect(&user, &QTimer::timeout, &answerDialogs);
    user.start(20);
    app.TwainQuelle();
    // The worker is up after the search; idle is the window with no page yet.
    const long worker = client.workerPid();
    const auto together = [&] {
        return ornavex::bench::pssKilobytes(0) + ornavex::bench::pssKilobytes(client.workerPid());
    };
    const double idleKb = together();
    double firstPeakKb = 0;
    double laterPeakKb = 0;
    double* peakKb = &firstPeakKb;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { *peakKb = std::max(*peakKb, together()); });
    sampler.start(10);
    QElapsedTimer clock;
    clock.start();
    for (int page = 1; page <= kPages; ++page) {
        root.setFileName(QStringLiteral("seite%1.jpg").arg(page));
        app.bScannen_Click();
        *peakKb = std::max(*peakKb, together());
        if (root.picture().isNull()) std::fprintf(stderr, "page %d did not arrive\n", page);
        peakKb = &laterPeakKb;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const auto aboveIdle = [&](double kb) { return (kb - idleKb) * 1024.0; };
    std::printf("%d A4 colour pages at 600 dpi scanned and stored in %.1f s (worker %ld)\n", kPages,
                seconds, worker);
    std::printf("raw page: %.1f MB\n", kRawPageBytes / 1e6);
    std::printf("first page: peak %.1f MB above idle = %.2f x raw page\n",
                aboveIdle(firstPeakKb) / 1e6, aboveIdle(firstPeakKb) / kRawPageBytes);
    std::printf(
        "later pages: peak %.1f MB above idle = %.2f x raw page (target <= 2.50), window and "
        "worker together (PSS)\n",
        aboveIdle(laterPeakKb) / 1e6, aboveIdle(laterPeakKb) / kRawPageBytes);
    return 0;
}
