#include "print/drucken.h"

#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>

#include "platform/screen.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

// Design size of the form's client area.
constexpr double kDesignClientWidth = 11640.0;
constexpr double kDesignClientHeight = 10830.0;

}  // namespace

Drucken::Drucken(Screen& screen, QWidget* parent) : QWidget(parent), screen_(screen) {
    setObjectName(QStringLiteral("Drucken"));
    // Focus lands here; without names a screen reader says only "filler" and "image".
    setAccessibleName(QStringLiteral("Seitenansicht"));
    setAutoFillBackground(true);
    // The application-workspace shade, so the white page stands out.
    QPalette workspace = palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    setPalette(workspace);
    createControls();
    resize(screen_.twipsToPixelsX(kDesignClientWidth), screen_.twipsToPixelsY(kDesignClientHeight));
    applyGeometry();
}

void Drucken::createControls() {
    pScroller_ = new PictureBox(this);
    pScroller_->setObjectName(QStringLiteral("PScroller"));
    pScroller_->setBackgroundColor(QColor(0xFF, 0xFF, 0xFF));
    pImage_ = new ImageControl(pScroller_);
    pImage_->setObjectName(QStringLiteral("PImage"));
    pImage_->setAccessibleName(QStringLiteral("Seite"));
    pImage_->setStretch(true);

    // The names are crossed: ScrollHor is the vertical bar, ScrollVer the horizontal one.
    scrollHor_ = new QScrollBar(Qt::Vertical, this);
    scrollHor_->setObjectName(QStringLiteral("ScrollHor"));
    scrollHor_->setRange(0, 0);
    scrollVer_ = new QScrollBar(Qt::Horizontal, this);
    scrollVer_->setObjectName(QStringLiteral("ScrollVer"));
    scrollVer_->setRange(0, 0);
    connect(scrollHor_, &QScrollBar::valueChanged, this, &Drucken::onVerticalScroll);
    connect(scrollVer_, &QScrollBar::valueChanged, this, &Drucken::onHorizontalScroll);

    pEcke_ = new PictureBox(this);
    pEcke_->setObjectName(QStringLiteral("PEcke"));

    // Lies above the form's top edge: never seen, but Escape and Enter run it.
    bBeenden_ = new QPushButton(QStringLiteral("&Beenden"), this);
    bBeenden_->setObjectName(QStringLiteral("BBeenden"));
    bBeenden_->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    bBeenden_->setGeometry(pixelRect(4500, -600, 1275, 420));
    connect(bBeenden_, &QPushButton::clicked, this, &Drucken::closeRequested);
}

QWidget& Drucken::outerWindow() const {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    return sub ? static_cast<QWidget&>(*sub) : const_cast<Drucken&>(*this);
}

double Drucken::outerWidthTwips() const {
    return screen_.pixelsToTwipsX(outerWindow().width());
}

double Drucken::outerHeightTwips() const {
    return screen_.pixelsToTwipsY(outerWindow().height());
}

bool Drucken::minimised() const {
    return outerWindow().isMinimized();
}

void Drucken::load(QWidget& frame) {
    const int width = screen_.twipsToPixelsX(kPreviewFormWidth);
    frame.resize(width, frame.height());
    // A maximised form keeps the width of its frame.
    QWidget& outer = outerWindow();
    if (!outer.isMaximized()) outer.resize(width, outer.height());
    layOut();
}

void Drucken::layOut() {
    geometry_ = layOutPreview(outerWidthTwips(), outerHeightTwips(), minimised(),
                              scrollHor_->value(), geometry_);
    applyGeometry();
}

QRect Drucken::pixelRect(double left, double top, double width, double height) const {
    return QRect(screen_.twipsToPixelsX(left), screen_.twipsToPixelsY(top),
                 screen_.twipsToPixelsX(width), screen_.twipsToPixelsY(height));
}

void Drucken::applyGeometry() {
    const PreviewGeometry& g = geometry_;
    pScroller_->resize(screen_.twipsToPixelsX(g.pageWidth), screen_.twipsToPixelsY(g.pageHeight));
    pImage_->setGeometry(pixelRect(0, 0, g.imageWidth, g.imageHeight));
    applyPagePosition();

    scrollHor_->setGeometry(
        pixelRect(g.verticalBarLeft, g.verticalBarTop, g.verticalBarWidth, g.verticalBarHeight));
    scrollVer_->setGeometry(pixelRect(g.horizontalBarLeft, g.horizontalBarTop, g.horizontalBarWidth,
                                      g.horizontalBarHeight));
    // A bar's range always holds 0; a maximum below it is kept by the layout
    // while the bar stays hidden.
    scrollHor_->setRange(std::min(0, g.verticalMaximum), std::max(0, g.verticalMaximum));
    scrollVer_->setRange(std::min(0, g.horizontalMaximum), std::max(0, g.horizontalMaximum));
    scrollVer_->setVisible(g.horizontalBarVisible);

    pEcke_->setGeometry(
        pixelRect(g.cornerLeft, g.cornerTop, g.verticalBarWidth, g.horizontalBarHeight));
    pEcke_->setVisible(g.cornerVisible);
}

void Drucken::applyPagePosition() {
    pScroller_->move(screen_.twipsToPixelsX(geometry_.pageLeft),
                     screen_.twipsToPixelsY(geometry_.pageTop));
}

void Drucken::onVerticalScroll(int value) {
    geometry_.pageTop = verticalScrollTop(outerHeightTwips(), value);
    applyPagePosition();
}

void Drucken::onHorizontalScroll(int value) {
    geometry_.pageLeft = horizontalScrollLeft(outerHeightTwips(), value);
    applyPagePosition();
}

void Drucken::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

// Keys that no control takes reach the form: Escape and Enter close the preview.
void Drucken::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            bBeenden_->click();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void Drucken::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (unloaded_) return;
    unloaded_ = true;
    emit unloaded();
}

}  // namespace ornavex
