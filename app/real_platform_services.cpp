#include "app/real_platform_services.h"

#include "platform/qt_desktop.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_printer.h"

namespace ornavex {

RealPlatformServices makeRealPlatformServices(WorkerCommand folderWorker) {
    PlatformServices services;
    auto messageBoxes = std::make_unique<QtMessageBoxes>();
    QtMessageBoxes& realMessageBoxes = *messageBoxes;
    services.messageBoxes = std::move(messageBoxes);
    auto fileDialogs = std::make_unique<ProcessFileDialogs>();
    ProcessFileDialogs& realFileDialogs = *fileDialogs;
    services.fileDialogs = std::move(fileDialogs);
    services.pointer = std::make_unique<QtScreenPointer>();
    services.screen = std::make_unique<QtScreen>();
    services.clipboard = std::make_unique<QtClipboard>();
    services.folder = std::make_unique<FolderWorkerClient>(std::move(folderWorker));
    services.printer = std::make_unique<QtPrinter>();
    auto process = std::make_unique<UnixProcessControl>();
    UnixProcessControl& realProcess = *process;
    services.process = std::move(process);
    return {std::move(services), realProcess, realMessageBoxes, realFileDialogs};
}

}  // namespace ornavex
