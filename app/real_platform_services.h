#pragma once

#include "files/process_file_dialogs.h"
#include "folder/folder_worker_client.h"
#include "platform/qt_desktop.h"
#include "platform/qt_message_boxes.h"
#include "scan/scanner_library.h"
#include "shell/platform_services.h"

namespace ornavex {

// The real services on Qt, libjpeg-turbo and CUPS, with the three that the
// program's start sets up itself at their real type. The scanner is left to
// the caller: it runs in a worker process of the scanner front end.
struct RealPlatformServices {
    PlatformServices services;
    UnixProcessControl& process;
    QtMessageBoxes& messageBoxes;
    ProcessFileDialogs& fileDialogs;
};

// The document folder's worker is this executable unless another is named.
RealPlatformServices makeRealPlatformServices(
    WorkerCommand folderWorker = thisProgramInMode("--folder-worker"));

}  // namespace ornavex
