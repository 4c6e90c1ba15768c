#pragma once

#include <QString>
#include <functional>

#include "folder/document_folder.h"
#include "settings/settings.h"
#include "shell/state.h"

namespace ornavex {

class Root;
struct PlatformServices;

// The main window's load sequence: the one-second pause, centring, showing the
// window, restoring the document state from the settings file, and the scanner
// source choice at the end. Each step starts the next when it is done.
class Startup {
  public:
    using ChooseScanner = std::function<void(CommandRun, std::function<void()> then)>;

    Startup(State& state, Root& root, PlatformServices& platform, ChooseScanner chooseScanner,
            QString settingsPath);

    // `then` runs once the focus is back in the name field.
    void run(CommandRun run, std::function<void()> then = {});
    void restoreDocumentState(CommandRun run, std::function<void()> then = {});

  private:
    void centreWindow();
    void restoreLastFile(const QString& lastFile, std::function<void()> next);
    void takeLastFile(const QString& lastFile, const LoadedPage& loaded,
                      std::function<void()> next);
    void askForDocumentFolder(std::function<void()> next);
    void rememberFolder(std::function<void()> next);

    State& state_;
    Root& root_;
    PlatformServices& platform_;
    ChooseScanner chooseScanner_;
    Settings settings_;
};

}  // namespace ornavex
