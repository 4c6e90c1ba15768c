#include "print/print_command.h"

#include <QAction>

#include "platform/platform_services.h"
#include "print/print_fit.h"
#include "shell/root.h"
#include "shell/root_operations.h"

namespace ornavex {
namespace {

// The queue lists jobs by title; a page that was never named still gets one.
QString documentName(const QString& fileName) {
    return fileName.isEmpty() ? QStringLiteral("Ornavex") : fileName;
}

}  // namespace

PrintCommand::PrintCommand(Root& root, PlatformServices& platform, RootOperations& operations)
    : root_(root), platform_(platform), operations_(operations) {}

void PrintCommand::bDrucken_Click() {
    platform_.pointer->set(PointerShape::ArrowHourglass);
    if (!root_.hasPicture()) {
        if (root_.mnuSeite1()->isChecked()) operations_.TwainQuelle();
        if (root_.mnuSeite2()->isChecked()) operations_.mnuSeite1_Click();
        platform_.pointer->set(PointerShape::Default);
        return;
    }
    Printer& printer = *platform_.printer;
    if (printer.available()) {
        printer.setDocName(documentName(root_.fileName()));
        PrintFittedPicture(printer, root_.picture());
        printer.endDoc();
    }
    platform_.pointer->set(PointerShape::Default);
}

}  // namespace ornavex
