#pragma once

#include "shell/platform_services.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_document_folder.h"
#include "tests/fakes/fake_file_dialogs.h"
#include "tests/fakes/fake_message_boxes.h"
#include "tests/fakes/fake_picture_files.h"
#include "tests/fakes/fake_printer.h"
#include "tests/fakes/fake_scanner_library.h"

namespace ornavex {

// A platform bundle of scripted fakes, with typed access to each.
struct FakePlatform {
    FakePlatform();

    PlatformServices services;
    FakePageWriter pageWriter;
    FakePictureStore pictureFiles;
    FakeMessageBoxes* messages = nullptr;
    FakeFileDialogs* dialogs = nullptr;
    FakeScreenPointer* pointer = nullptr;
    FakeScreen* screen = nullptr;
    FakeClipboard* clipboard = nullptr;
    FakePictureStore* pictures = nullptr;
    FakeDocumentFolder* folder = nullptr;
    FakeScannerLibrary* scanner = nullptr;
    FakePrinter* printer = nullptr;
    FakeProcessControl* process = nullptr;
};

}  // namespace ornavex
