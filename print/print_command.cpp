#include "print/print_command.h"

#include <QThread>

#include "print/print_fit.h"
#include "shell/platform_services.h"

namespace ornavex {
namespace {

// The queue lists jobs by title; a page that was never named still gets one.
QString documentName(const QString& fileName) {
    return fileName.isEmpty() ? QStringLiteral("Ornavex") : fileName;
}

}  // namespace

PrintCommand::PrintCommand(State& state, PlatformServices& platform, ChooseScanner chooseScanner)
    : state_(state), platform_(platform), chooseScanner_(std::move(chooseScanner)) {}

void PrintCommand::bDrucken_Click(CommandRun run) {
    platform_.pointer->set(PointerShape::ArrowHourglass);
    if (state_.hasPage()) return printPage(std::move(run));
    // Nothing to print: the scanner is chosen instead.
    chooseScanner_(std::move(run), [this] { platform_.pointer->set(PointerShape::Default); });
}

// The print system can take long to answer, or stop answering (a busy or
// frozen spooler): the page goes to it from a thread of its own, so the window
// keeps answering and a close still ends the program. The command runs until
// the page is handed over.
void PrintCommand::printPage(CommandRun run) {
    Printer* printer = platform_.printer.get();
    QThread* job = QThread::create(
        [printer, name = documentName(state_.fileName()), picture = state_.page().picture()] {
            if (!printer->available()) return;
            printer->setDocName(name);
            PrintFittedPicture(*printer, picture);
            printer->endDoc();
        });
    QObject::connect(job, &QThread::finished, job, [this, job, run]() mutable {
        job->deleteLater();
        platform_.pointer->set(PointerShape::Default);
        run.reset();
    });
    job->start();
}

}  // namespace ornavex
