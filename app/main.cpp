#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstring>

#include "app/application.h"
#include "app/real_platform_services.h"
#include "files/file_dialog_process.h"
#include "folder/folder_worker.h"
#include "scan/sane_scanner_library.h"
#include "scan/service/scanner_worker.h"
#include "settings/settings_path.h"
#include "shell/root.h"
#include "shell/single_instance.h"
#include "shell/state.h"
#include "shell/user_texts.h"

namespace {

// Qt's own dialogs and standard buttons speak German too.
void installGermanTranslations(QApplication& app, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (translator.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(&translator);
    }
}

void bringToFront(QWidget& window) {
    if (!window.isVisible()) return;
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

// Why this window runs without serving the socket.
QString startUpNotice(const ornavex::SingleInstance& instance) {
    return instance.role() == ornavex::SingleInstance::Role::Unanswered
               ? ornavex::unansweredInstanceText()
               : ornavex::controlUnavailableText();
}

}  // namespace

int main(int argc, char** argv) {
    // The scanner worker: the scanner library in a process of its own, started by the window.
    if (argc == 2 && std::strcmp(argv[1], "--scanner-worker") == 0) {
        return ornavex::runScannerWorker(ornavex::kWorkerSocketDescriptor);
    }
    // The folder worker: every call on the document folder, which may be a share that hangs.
    if (argc == 2 && std::strcmp(argv[1], "--folder-worker") == 0) {
        return ornavex::runFolderWorker(ornavex::kWorkerSocketDescriptor);
    }
    QApplication app(argc, argv);
    // A file dialog: in a process of its own, which the window leaves behind
    // when a share it browses stops answering.
    if (argc == 2 && std::strcmp(argv[1], "--file-dialog") == 0) {
        QTranslator translator;
        installGermanTranslations(app, translator);
        return ornavex::runFileDialog(ornavex::kWorkerSocketDescriptor);
    }
    const QString baseName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    ornavex::SingleInstance instance(baseName);
    if (instance.start() == ornavex::SingleInstance::Role::Secondary) return 0;

    QTranslator translator;
    installGermanTranslations(app, translator);

    ornavex::RealPlatformServices real = ornavex::makeRealPlatformServices();
    ornavex::PlatformServices& platform = real.services;
    const QString settingsPath = ornavex::settingsFilePath();
    auto scanner = std::make_unique<ornavex::SaneScannerLibrary>(
        *platform.clipboard, *platform.messageBoxes, settingsPath);
    ornavex::SaneScannerLibrary& scannerLibrary = *scanner;
    platform.scanner = std::move(scanner);
    real.process.setBeforeTermination([&instance, &real] {
        instance.removeSocketFile();
        real.fileDialogs.endNow();
    });

    ornavex::Application application(platform, settingsPath);
    ornavex::Root& root = application.root();
    real.messageBoxes.setOwner(&root);
    scannerLibrary.setOwner(&root);
    real.fileDialogs.setOwner(&root);

    QObject::connect(&instance, &ornavex::SingleInstance::textReceived, &application.state(),
                     &ornavex::State::setRemoteText);
    QObject::connect(&instance, &ornavex::SingleInstance::activateRequested, &root,
                     [&root] { bringToFront(root); });

    // Started from the event loop, so a close or "$Ende$" during start-up is served at once.
    QTimer::singleShot(0, &root, [&] {
        application.start([&] {
            if (instance.isServing()) return;
            // Host programs rely on the socket; running on without it unannounced
            // would leave them, and a second start, without an answer.
            platform.messageBoxes->ask(
                {ornavex::messageTitle(), startUpNotice(instance),
                 ornavex::MessageIcon::Exclamation, ornavex::MessageButtons::Ok},
                [](ornavex::MessageAnswer) {});
        });
    });
    const int exitCode = QApplication::exec();
    instance.removeSocketFile();
    return exitCode;
}
