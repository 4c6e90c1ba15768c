#include "app/application.h"

#include <QLineEdit>

#include "files/document_files.h"
#include "files/waiting_folder_notice.h"
#include "platform/platform_services.h"
#include "preview/page_menu.h"
#include "preview/preview_pane.h"
#include "print/print_command.h"
#include "print/print_preview.h"
#include "scan/scan_commands.h"
#include "shell/root.h"
#include "shell/startup.h"

namespace ornavex {

Application::Application(PlatformServices& platform, QString settingsPath)
    : platform_(platform), settingsPath_(std::move(settingsPath)) {
    root_ = std::make_unique<Root>(platform_);
    Root& root = *root_;
    // While a call on the document folder takes long, the window says which folder it waits for.
    platform_.folder =
        std::make_unique<WaitingFolderNotice>(std::move(platform_.folder), root.state());
    printPreview_ = std::make_unique<PrintPreview>(
        root, [&root] { return root.tBilddatei()->text(); }, *platform_.screen);
    files_ = std::make_unique<DocumentFiles>(root.state(), platform_, settingsPath_);
    scan_ = std::make_unique<ScanCommands>(root.state(), platform_, *files_,
                                           [this] { pageMenu_->mnuSeite2_Click(); });
    previewPane_ = std::make_unique<PreviewPane>(root, *this, *printPreview_);
    pageMenu_ = std::make_unique<PageMenu>(root, platform_);
    print_ = std::make_unique<PrintCommand>(root, platform_, *this);
    root.setOperations(this);
}

Application::~Application() {
    // The preview's windows hang off the main window; let them go first.
    printPreview_.reset();
    if (root_) root_->setOperations(nullptr);
}

State& Application::state() {
    return root_->state();
}

void Application::runWaiting(const std::function<void()>& handler) {
    if (waitingRun_) return handler();  // one handler calling another
    const std::optional<CommandRun> run = state().startCommand();
    if (!run) return;
    waitingRun_ = *run;
    handler();
    waitingRun_.reset();
}

CommandRun Application::currentRun() {
    if (waitingRun_) return waitingRun_;
    return state().startCommand().value_or(nullptr);
}

void Application::start() {
    runWaiting([this] { Startup(*root_, platform_, *this, settingsPath_).run(); });
}

short Application::TwainQuelle() {
    scan_->TwainQuelle(currentRun(), [] {});
    return state().scannerChoice() == ScannerChoice::Chosen ? 1 : 0;
}
bool Application::TwainScan() {
    return false;  // part of the scan command now
}
void Application::TwainCopy() {
    files_->TwainCopy(currentRun(), [] {});
}
void Application::TwainLoad() {
    files_->TwainLoad(currentRun());
}
void Application::bScannen_Click() {
    if (const std::optional<CommandRun> run = state().startCommand()) scan_->bScannen_Click(*run);
}
void Application::bAssistent_Click() {
    if (const std::optional<CommandRun> run = state().startCommand()) {
        scan_->bAssistent_Click(*run);
    }
}
void Application::BVerwaltung_Click() {
    if (const std::optional<CommandRun> run = state().startCommand()) {
        files_->BVerwaltung_Click(*run);
    }
}
void Application::bAnzeigen_Click() {
    runWaiting([this] { previewPane_->bAnzeigen_Click(); });
}
void Application::bDrucken_Click() {
    runWaiting([this] { print_->bDrucken_Click(); });
}
void Application::Picture2_DblClick() {
    runWaiting([this] { previewPane_->Picture2_DblClick(); });
}
void Application::Picture2_MouseDown(Qt::MouseButton button, QPoint position) {
    runWaiting([=, this] { previewPane_->Picture2_MouseDown(button, position); });
}
void Application::mnuSeite1_Click() {
    runWaiting([this] { pageMenu_->mnuSeite1_Click(); });
}
void Application::mnuSeite2_Click() {
    runWaiting([this] { pageMenu_->mnuSeite2_Click(); });
}
void Application::mnuPapierkorb_Click() {
    runWaiting([this] { pageMenu_->mnuPapierkorb_Click(); });
}
void Application::mnxEmail_Click() {
    runWaiting([this] { pageMenu_->mnxEmail_Click(); });
}

}  // namespace ornavex
