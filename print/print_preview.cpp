#include "print/print_preview.h"

#include <QWidget>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "widgets/image_control.h"

namespace ornavex {

PrintPreview::PrintPreview(QWidget& mainWindow, std::function<QString()> currentFileName,
                           Screen& screen)
    : mainWindow_(mainWindow), currentFileName_(std::move(currentFileName)), screen_(screen) {}

PrintPreview::~PrintPreview() {
    QObject::disconnect(unloadedConnection_);
}

DruckMDI* PrintPreview::frame() const {
    return frame_ && !frame_->unloading() ? frame_.data() : nullptr;
}

DruckMDI& PrintPreview::openFrame() {
    if (DruckMDI* open = frame()) return *open;
    // The frame is a window of its own, but goes away with the main window.
    auto* created = new DruckMDI(mainWindow_, currentFileName_, screen_);
    QObject::disconnect(unloadedConnection_);
    unloadedConnection_ = QObject::connect(created, &DruckMDI::unloaded, created, [this, created] {
        if (frame_ == created) frame_ = nullptr;
    });
    frame_ = created;
    return *created;
}

void PrintPreview::show(const QImage& picture) {
    DruckMDI& frame = openFrame();
    ImageControl& image = frame.page().pImage();
    image.clearPicture();
    image.setPicture(picture);
    if (frame.isMinimized()) {
        frame.showNormal();
    } else {
        frame.show();
    }
    frame.raise();
    frame.activateWindow();
    // Escape and Enter reach the page only when the focus is inside it.
    frame.page().setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace ornavex
