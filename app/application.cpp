#include "app/application.h"

#include "files/document_files.h"
#include "files/waiting_folder_notice.h"
#include "preview/preview_pane.h"
#include "print/print_command.h"
#include "print/print_preview.h"
#include "scan/scan_commands.h"
#include "shell/platform_services.h"
#include "shell/root.h"
#include "shell/startup.h"
#include "shell/state.h"

namespace ornavex {

Application::Application(PlatformServices& platform, QString settingsPath)
    : platform_(platform),
      settingsPath_(std::move(settingsPath)),
      state_(std::make_unique<State>()) {
    State& state = *state_;
    // While a call on the document folder takes long, the window says which folder it waits for.
    platform_.folder = std::make_unique<WaitingFolderNotice>(std::move(platform_.folder), state);
    root_ = std::make_unique<Root>(state, platform_);
    printPreview_ = std::make_unique<PrintPreview>(
        *root_, [&state] { return state.fileName(); }, *platform_.screen);
    files_ = std::make_unique<DocumentFiles>(state, platform_, settingsPath_);
    scan_ = std::make_unique<ScanCommands>(state, platform_, *files_);
    auto chooseScanner = [this](CommandRun run, std::function<void()> then) {
        scan_->TwainQuelle(std::move(run), std::move(then));
    };
    previewPane_ = std::make_unique<PreviewPane>(
        state, *printPreview_,
        PreviewPane::Hooks{[this](CommandRun run) { files_->TwainLoad(std::move(run)); },
                           chooseScanner});
    print_ = std::make_unique<PrintCommand>(state, platform_, chooseScanner);
    startup_ = std::make_unique<Startup>(state, *root_, platform_, chooseScanner, settingsPath_);
    wireWindow();
    QObject::connect(&state, &State::remoteTextChanged, root_.get(),
                     [this](const QString& text) { endOnRemoteCommand(text); });
}

Application::~Application() {
    // The preview's windows hang off the main window; let them go first.
    printPreview_.reset();
    if (root_) root_->setCommands({});
}

void Application::wireWindow() {
    RootCommands commands;
    commands.bScannen_Click = [this](CommandRun run) { scan_->bScannen_Click(std::move(run)); };
    commands.BVerwaltung_Click = [this](CommandRun run) {
        files_->BVerwaltung_Click(std::move(run));
    };
    commands.bAnzeigen_Click = [this](CommandRun run) {
        previewPane_->bAnzeigen_Click(std::move(run));
    };
    commands.bDrucken_Click = [this](CommandRun run) { print_->bDrucken_Click(std::move(run)); };
    commands.Picture2_DblClick = [this](CommandRun run) {
        previewPane_->Picture2_DblClick(std::move(run));
    };
    root_->setCommands(std::move(commands));
}

// Host programs end the program by writing exactly "$Ende$", whatever runs.
void Application::endOnRemoteCommand(const QString& text) {
    if (text == QStringLiteral("$Ende$")) platform_.process->terminateImmediately(0);
}

void Application::start(std::function<void()> then) {
    std::optional<CommandRun> run = state_->startCommand();
    if (!run) return;
    startup_->run(std::move(*run), std::move(then));
}

}  // namespace ornavex
