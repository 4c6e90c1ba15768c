#pragma once

#include <functional>

#include "shell/state.h"

namespace ornavex {

struct PlatformServices;

// The print command: the preview's page on the default printer, fitted onto one page.
class PrintCommand {
  public:
    // ScanCommands::TwainQuelle, for an empty preview on page 1.
    using ChooseScanner = std::function<void(CommandRun, std::function<void()> then)>;

    PrintCommand(State& state, PlatformServices& platform, ChooseScanner chooseScanner);

    void bDrucken_Click(CommandRun run);

  private:
    void printPage(CommandRun run);

    State& state_;
    PlatformServices& platform_;
    ChooseScanner chooseScanner_;
};

}  // namespace ornavex
