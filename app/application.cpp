#include "app/application.h"

#include <QLineEdit>

#include "files/document_files.h"
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
    printPreview_ = std::make_unique<PrintPreview>(
        root, [&root] { return root.tBilddatei()->text(); }, *platform_.screen);
    scan_ = std::make_unique<ScanCommands>(root, platform_, *this);
    files_ = std::make_unique<DocumentFiles>(root, platform_, settingsPath_);
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

void Application::start() {
    root_->runCommand([this] { Startup(*root_, platform_, *this, settingsPath_).run(); });
}

short Application::TwainQuelle() {
    return scan_->TwainQuelle();
}
bool Application::TwainScan() {
    return scan_->TwainScan();
}
void Application::TwainCopy() {
    files_->TwainCopy();
}
void Application::TwainLoad() {
    files_->TwainLoad();
}
void Application::bScannen_Click() {
    scan_->bScannen_Click();
}
void Application::bAssistent_Click() {
    scan_->bAssistent_Click();
}
void Application::BVerwaltung_Click() {
    files_->BVerwaltung_Click();
}
void Application::bAnzeigen_Click() {
    previewPane_->bAnzeigen_Click();
}
void Application::bDrucken_Click() {
    print_->bDrucken_Click();
}
void Application::Picture2_DblClick() {
    previewPane_->Picture2_DblClick();
}
void Application::Picture2_MouseDown(Qt::MouseButton button, QPoint position) {
    previewPane_->Picture2_MouseDown(button, position);
}
void Application::mnuSeite1_Click() {
    pageMenu_->mnuSeite1_Click();
}
void Application::mnuSeite2_Click() {
    pageMenu_->mnuSeite2_Click();
}
void Application::mnuPapierkorb_Click() {
    pageMenu_->mnuPapierkorb_Click();
}
void Application::mnxEmail_Click() {
    pageMenu_->mnxEmail_Click();
}

}  // namespace ornavex
