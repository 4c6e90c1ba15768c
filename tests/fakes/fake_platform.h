#pragma once

#include "shell/platform_services.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_document_folder.h"
#include "tests/fakes/fake_file_dialogs.h"
#include "tests/fakes/fake_message_boxes.h"
#include "tests/fakes/fake_printer.h"
#include "tests/fakes/fake_scanner_library.h"

namespace ornavex {

// Puts a new fake into its service's place and gives typed access to it.
template <typename Fake, typename Interface, typename... Args>
Fake* install(std::unique_ptr<Interface>& slot, Args&... args) {
    slot = std::make_unique<Fake>(args...);
    return static_cast<Fake*>(slot.get());
}

// A platform bundle of scripted fakes, with typed access to each.
struct FakePlatform {
    PlatformServices services;
    FakePageWriter pageWriter;
    FakePictureStore pictureFiles;
    FakePictureStore* pictures = &pictureFiles;
    FakeMessageBoxes* messages = install<FakeMessageBoxes>(services.messageBoxes);
    FakeFileDialogs* dialogs = install<FakeFileDialogs>(services.fileDialogs);
    FakeScreenPointer* pointer = install<FakeScreenPointer>(services.pointer);
    FakeScreen* screen = install<FakeScreen>(services.screen);
    FakeClipboard* clipboard = install<FakeClipboard>(services.clipboard);
    FakeDocumentFolder* folder =
        install<FakeDocumentFolder>(services.folder, pageWriter, pictureFiles);
    FakeScannerLibrary* scanner = install<FakeScannerLibrary>(services.scanner, *clipboard);
    FakePrinter* printer = install<FakePrinter>(services.printer);
    FakeProcessControl* process = install<FakeProcessControl>(services.process);
};

}  // namespace ornavex
