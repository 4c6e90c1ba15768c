#pragma once

#include <functional>

#include "shell/state.h"

namespace ornavex {

class PrintPreview;

// What a double-click on the preview and the show button do: the enlarged
// view of the page, or, with an empty preview, opening a stored page or
// choosing the scanner.
class PreviewPane {
  public:
    struct Hooks {
        // DocumentFiles::TwainLoad.
        std::function<void(CommandRun)> openStoredPage;
        // ScanCommands::TwainQuelle.
        std::function<void(CommandRun, std::function<void()> then)> chooseScanner;
    };

    PreviewPane(State& state, PrintPreview& printPreview, Hooks hooks);

    void Picture2_DblClick(CommandRun run);
    void bAnzeigen_Click(CommandRun run);

  private:
    State& state_;
    PrintPreview& printPreview_;
    Hooks hooks_;
};

}  // namespace ornavex
