#include "preview/preview_pane.h"

#include "print/print_preview.h"

namespace ornavex {

PreviewPane::PreviewPane(State& state, PrintPreview& printPreview, Hooks hooks)
    : state_(state), printPreview_(printPreview), hooks_(std::move(hooks)) {}

void PreviewPane::Picture2_DblClick(CommandRun run) {
    if (state_.hasPage()) {
        bAnzeigen_Click(std::move(run));
    } else {
        hooks_.openStoredPage(std::move(run));
    }
}

void PreviewPane::bAnzeigen_Click(CommandRun run) {
    if (state_.hasPage()) {
        printPreview_.show(state_.page().picture());
        return;
    }
    hooks_.chooseScanner(std::move(run), [] {});
}

}  // namespace ornavex
