#include "preview/preview_pane.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>

#include "print/print_preview.h"
#include "shell/root.h"
#include "shell/root_operations.h"

namespace ornavex {

PreviewPane::PreviewPane(Root& root, RootOperations& operations, PrintPreview& printPreview)
    : root_(root), operations_(operations), printPreview_(printPreview) {}

void PreviewPane::Picture2_DblClick() {
    if (root_.hasPicture()) {
        bAnzeigen_Click();
    } else {
        operations_.TwainLoad();
    }
}

void PreviewPane::Picture2_MouseDown(Qt::MouseButton button, QPoint) {
    // The page menu belongs to an entry of the name list, which nothing fills.
    if (root_.LNamen()->currentIndex() == -1) return;
    if (root_.hasPicture() && button == Qt::RightButton) root_.popUpPageMenu(QCursor::pos());
}

void PreviewPane::bAnzeigen_Click() {
    if (root_.hasPicture()) {
        printPreview_.show(root_.picture());
        return;
    }
    if (root_.mnuSeite1()->isChecked()) operations_.TwainQuelle();
    if (root_.mnuSeite2()->isChecked()) operations_.mnuSeite1_Click();
}

}  // namespace ornavex
