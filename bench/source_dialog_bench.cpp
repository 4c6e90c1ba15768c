// Opens the scanner choice with a remembered scanner and the machine's SANE
// backends configured (as the README's run command does), and prints how soon
// the remembered scanner can be taken beside how long the full search takes.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "scan/dialogs/scanner_source_dialog.h"

namespace {

constexpr int kRuns = 5;

QPushButton* okButton(QDialog& dialog) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == QLatin1String("OK")) return button;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    ornavex::bench::useBenchEnvironment(ORNAVEX_SOURCE_DIR
                                        "/scan/sane-config/with-system-scanners:");
    QApplication app(argc, argv);
    const ornavex::SaneDeviceInfo remembered{QStringLiteral("test:0"), QStringLiteral("Noname"),
                                             QStringLiteral("frontend-tester"), QString()};

    std::vector<double> ready;
    std::vector<double> searched;
    for (int run = 0; run < kRuns; ++run) {
        // A fresh worker each time, as at a start of the program.
        ornavex::ScannerClient client(ornavex::bench::benchWorker());
        QElapsedTimer clock;
        clock.start();
        ornavex::ScannerSourceDialog dialog(client, QString(), remembered, nullptr);
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("geraeteListe"));
        ornavex::bench::waitFor([&] {
            return okButton(dialog)->isEnabled() && list->currentItem() &&
                   list->currentItem()->text(2) == remembered.name;
        });
        ready.push_back(clock.nsecsElapsed() / 1e9);
        ornavex::bench::waitFor([&] { return !dialog.isSearching(); });
        searched.push_back(clock.nsecsElapsed() / 1e9);
        dialog.reject();
    }
    std::printf("remembered scanner offered, OK enabled: median %.3f s (target <= 0.100)\n",
                ornavex::bench::median(ready));
    std::printf("full search of the machine's scanners: median %.3f s\n",
                ornavex::bench::median(searched));
    return 0;
}
