#pragma once

#include <QString>

#include "shell/settings.h"

namespace ornavex {

class Root;
class RootOperations;
struct PlatformServices;

// The main window's load sequence: the one-second pause, centring, showing the
// window, restoring the document state from the settings file, and the scanner
// source choice at the end.
class Startup {
  public:
    Startup(Root& root, PlatformServices& platform, RootOperations& operations,
            QString settingsPath);

    void run();
    void restoreDocumentState();

  private:
    void centreWindow();
    void restoreLastFile(const QString& lastFile);
    void askForDocumentFolder();
    void rememberFolder();

    Root& root_;
    PlatformServices& platform_;
    RootOperations& operations_;
    Settings settings_;
};

}  // namespace ornavex
