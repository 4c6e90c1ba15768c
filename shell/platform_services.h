#pragma once

#include <memory>

#include "folder/document_folder.h"
#include "platform/clipboard.h"
#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "platform/printer.h"
#include "platform/process_control.h"
#include "platform/screen.h"
#include "platform/screen_pointer.h"

namespace ornavex {

// Declared only: the scanner's interface lives in scan/, a floor above the
// windows that are handed this bundle. Who calls or destroys the scanner
// includes scan/scanner_library.h.
class ScannerLibrary;

// Everything the window logic reaches outside itself. Built once by the shell
// (real services) or by a test (scripted fakes) and handed down.
struct PlatformServices {
    std::unique_ptr<MessageBoxes> messageBoxes;
    std::unique_ptr<FileDialogs> fileDialogs;
    std::unique_ptr<ScreenPointer> pointer;
    std::unique_ptr<Screen> screen;
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<DocumentFolder> folder;
    std::unique_ptr<ScannerLibrary> scanner;
    std::unique_ptr<Printer> printer;
    std::unique_ptr<ProcessControl> process;
};

}  // namespace ornavex
