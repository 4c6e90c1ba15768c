#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "shell/root_operations.h"
#include "shell/state.h"

namespace ornavex {

class DocumentFiles;
class PageMenu;
class PreviewPane;
class PrintCommand;
class PrintPreview;
class Root;
class ScanCommands;
struct PlatformServices;

// Wires the subsystems to the main window: every operation one of them calls in
// another, and every handler of the window, lands here and goes to its owner.
class Application : public RootOperations {
  public:
    Application(PlatformServices& platform, QString settingsPath);
    ~Application() override;

    Root& root() { return *root_; }
    State& state();
    PrintPreview& printPreview() { return *printPreview_; }

    // The window's load sequence: pause, centre, show, restore, choose the scanner.
    void start();

    short TwainQuelle() override;
    bool TwainScan() override;
    void TwainCopy() override;
    void TwainLoad() override;
    void bScannen_Click() override;
    void bAssistent_Click() override;
    void BVerwaltung_Click() override;
    void bAnzeigen_Click() override;
    void bDrucken_Click() override;
    void Picture2_DblClick() override;
    void Picture2_MouseDown(Qt::MouseButton button, QPoint position) override;
    void mnuSeite1_Click() override;
    void mnuSeite2_Click() override;
    void mnuPapierkorb_Click() override;
    void mnxEmail_Click() override;

  private:
    // Runs a handler that still waits inside itself as one command.
    void runWaiting(const std::function<void()>& handler);
    // The run of the waiting handler that calls back into a command chain.
    CommandRun currentRun();

    PlatformServices& platform_;
    CommandRun waitingRun_;
    QString settingsPath_;
    std::unique_ptr<Root> root_;
    std::unique_ptr<PrintPreview> printPreview_;
    std::unique_ptr<ScanCommands> scan_;
    std::unique_ptr<DocumentFiles> files_;
    std::unique_ptr<PreviewPane> previewPane_;
    std::unique_ptr<PageMenu> pageMenu_;
    std::unique_ptr<PrintCommand> print_;
};

}  // namespace ornavex
