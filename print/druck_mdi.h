#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QMdiArea;
class QMdiSubWindow;

namespace ornavex {

class Drucken;
class Screen;

// The print preview's frame: a window of its own beside the main window that
// holds the one page form. Its caption names the main window and the current
// file; closing it closes the page and brings the main window back.
class DruckMDI : public QMainWindow {
    Q_OBJECT
  public:
    // Creating the frame loads it: caption, then the page form inside it.
    DruckMDI(QWidget& mainWindow, std::function<QString()> currentFileName, Screen& screen);

    // The page form, created again when it was closed on its own.
    Drucken& page();
    // The page form, or nullptr while the frame is empty.
    Drucken* loadedPage() const { return page_; }
    QMdiArea& area() const { return *area_; }
    bool unloading() const { return unloading_; }

    QString caption() const;

  signals:
    // The closing sequence ran; the frame is going away.
    void unloaded();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void applyCaption();
    void unloadPage();

    QWidget& mainWindow_;
    std::function<QString()> currentFileName_;
    Screen& screen_;
    QMdiArea* area_ = nullptr;
    QPointer<Drucken> page_;
    QPointer<QMdiSubWindow> pageWindow_;
    bool unloading_ = false;
};

}  // namespace ornavex
