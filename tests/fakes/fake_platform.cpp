#include "tests/fakes/fake_platform.h"

namespace ornavex {
namespace {

template <typename Fake, typename Interface, typename... Args>
Fake* install(std::unique_ptr<Interface>& slot, Args&&... args) {
    slot = std::make_unique<Fake>(std::forward<Args>(args)...);
    return static_cast<Fake*>(slot.get());
}

}  // namespace

FakePlatform::FakePlatform() {
    messages = install<FakeMessageBoxes>(services.messageBoxes);
    dialogs = install<FakeFileDialogs>(services.fileDialogs);
    pointer = install<FakeScreenPointer>(services.pointer);
    screen = install<FakeScreen>(services.screen);
    clipboard = install<FakeClipboard>(services.clipboard);
    pictures = &pictureFiles;
    folder = install<FakeDocumentFolder>(services.folder, pageWriter, pictureFiles);
    scanner = install<FakeScannerLibrary>(services.scanner, *clipboard);
    printer = install<FakePrinter>(services.printer);
    process = install<FakeProcessControl>(services.process);
}

}  // namespace ornavex
