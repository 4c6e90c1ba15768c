#include "print/druck_mdi.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "platform/screen.h"
#include "print/drucken.h"

namespace ornavex {
namespace {

// Design size of the frame's client area.
constexpr double kDesignWidth = 9180.0;
constexpr double kDesignHeight = 6990.0;

}  // namespace

DruckMDI::DruckMDI(QWidget& mainWindow, std::function<QString()> currentFileName, Screen& screen)
    : QMainWindow(&mainWindow, Qt::Window),
      mainWindow_(mainWindow),
      currentFileName_(std::move(currentFileName)),
      screen_(screen) {
    setObjectName(QStringLiteral("DruckMDI"));
    setAttribute(Qt::WA_DeleteOnClose);
    area_ = new QMdiArea(this);
    setCentralWidget(area_);
    resize(screen_.twipsToPixelsX(kDesignWidth), screen_.twipsToPixelsY(kDesignHeight));
    applyCaption();
    page();
}

QString DruckMDI::caption() const {
    const QString fileName = currentFileName_ ? currentFileName_() : QString();
    return mainWindow_.windowTitle() + QStringLiteral(" - ") + fileName +
           QStringLiteral("   [Seitenansicht]");
}

void DruckMDI::applyCaption() {
    setWindowTitle(caption());
}

Drucken& DruckMDI::page() {
    if (page_) return *page_;
    auto* form = new Drucken(screen_);
    pageWindow_ = area_->addSubWindow(form);
    pageWindow_->setAttribute(Qt::WA_DeleteOnClose);
    page_ = form;
    connect(form, &Drucken::closeRequested, this, &DruckMDI::close);
    connect(form, &Drucken::unloaded, this, [this, form] {
        if (page_ == form) page_ = nullptr;
    });
    // Maximised, the page always fills the frame and follows its size.
    pageWindow_->showMaximized();
    form->load(*this);
    return *form;
}

bool DruckMDI::event(QEvent* event) {
    // A file name typed meanwhile shows the next time the preview comes forward.
    if (event->type() == QEvent::WindowActivate) applyCaption();
    return QMainWindow::event(event);
}

void DruckMDI::unloadPage() {
    if (pageWindow_) pageWindow_->close();
    page_ = nullptr;
}

// Any close request runs the sequence once and is never refused.
void DruckMDI::closeEvent(QCloseEvent* event) {
    event->accept();
    if (unloading_) return;
    unloading_ = true;
    unloadPage();
    mainWindow_.setVisible(true);
    emit unloaded();
}

}  // namespace ornavex
