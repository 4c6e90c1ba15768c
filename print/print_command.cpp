#include "print/print_command.h"

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
    if (state_.hasPage()) {
        printPage();
        platform_.pointer->set(PointerShape::Default);
        return;
    }
    // Nothing to print: the scanner is chosen instead.
    chooseScanner_(std::move(run), [this] { platform_.pointer->set(PointerShape::Default); });
}

void PrintCommand::printPage() {
    Printer& printer = *platform_.printer;
    if (!printer.available()) return;
    printer.setDocName(documentName(state_.fileName()));
    PrintFittedPicture(printer, state_.page().picture());
    printer.endDoc();
}

}  // namespace ornavex
