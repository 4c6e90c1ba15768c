#pragma once

#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace ornavex {

class DruckMDI;
class Screen;

// The enlarged view of the page, as the main window opens it: one frame with
// one page form, created on first use and again after the user closed it.
class PrintPreview {
  public:
    PrintPreview(QWidget& mainWindow, std::function<QString()> currentFileName, Screen& screen);
    ~PrintPreview();
    PrintPreview(const PrintPreview&) = delete;
    PrintPreview& operator=(const PrintPreview&) = delete;

    // Shows the picture in the preview without blocking the main window.
    void show(const QImage& picture);
    // nullptr while the preview is closed.
    DruckMDI* frame() const;

  private:
    DruckMDI& openFrame();

    QWidget& mainWindow_;
    std::function<QString()> currentFileName_;
    Screen& screen_;
    QPointer<DruckMDI> frame_;
    QMetaObject::Connection unloadedConnection_;
};

}  // namespace ornavex
