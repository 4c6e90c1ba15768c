#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace ornavex {

class DocumentFiles;
class PreviewPane;
class PrintCommand;
class PrintPreview;
class Root;
class ScanCommands;
class Startup;
class State;
struct PlatformServices;

// The composition root: builds the model, the window and the commands, and
// wires the window's controls to the commands.
class Application {
  public:
    Application(PlatformServices& platform, QString settingsPath);
    ~Application();

    State& state() { return *state_; }
    Root& root() { return *root_; }
    PrintPreview& printPreview() { return *printPreview_; }

    // The window's load sequence as a command: pause, centre, show, restore,
    // choose the scanner; `then` runs when it is done.
    void start(std::function<void()> then = {});

  private:
    void wireWindow();
    void endOnRemoteCommand(const QString& text);

    PlatformServices& platform_;
    QString settingsPath_;
    std::unique_ptr<State> state_;
    std::unique_ptr<Root> root_;
    std::unique_ptr<PrintPreview> printPreview_;
    std::unique_ptr<DocumentFiles> files_;
    std::unique_ptr<ScanCommands> scan_;
    std::unique_ptr<PreviewPane> previewPane_;
    std::unique_ptr<PrintCommand> print_;
    std::unique_ptr<Startup> startup_;
};

}  // namespace ornavex
