#include "shell/root.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "platform/user_input.h"
#include "shell/hints.h"
#include "widgets/accessible_picture.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"
#include "widgets/picture_button.h"

// The images are compiled into the shell library, which must register them itself.
static void registerAssets() {
    Q_INIT_RESOURCE(assets);
}

namespace ornavex {
namespace {

constexpr int kClientWidthTwips = 6585;
constexpr int kClientHeightTwips = 7485;
const QSize kButtonImageSize(75, 75);

const QCursor& handCursor() {
    // Hot spot at the tip of the index finger.
    static const QCursor cursor(QPixmap(QStringLiteral(":/hand.png")), 12, 1);
    return cursor;
}

QIcon buttonIcon(const QString& name) {
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/%1.png").arg(name)), QIcon::Normal);
    icon.addPixmap(QPixmap(QStringLiteral(":/%1_disabled.png").arg(name)), QIcon::Disabled);
    return icon;
}

}  // namespace

// While a command runs, the user's clicks and keys on this window's controls
// are dropped, so the window behaves as if the command's box or dialog were
// modal; requests to close the window pass.
class Root::InputDropper : public QObject {
  public:
    explicit InputDropper(Root& window) : window_(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!isUserInput(event->type()) || !receiver->isWidgetType()) return false;
        return static_cast<QWidget*>(receiver)->window() == &window_;
    }

  private:
    Root& window_;
};

Root::Root(State& state, PlatformServices& platform, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform) {
    registerAssets();
    AccessiblePicture::install();
    setObjectName(QStringLiteral("Root"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/ornavex.png")));
    setFont(QFont(QStringLiteral("Tahoma"), 9));
    setFixedSize(platform_.screen->twipsToPixelsX(kClientWidthTwips),
                 platform_.screen->twipsToPixelsY(kClientHeightTwips));
    createControls();
    setTabOrder();
    connectHandlers();
    observeState();
}

Root::~Root() {
    // Steps still holding a command end after the window; they must not draw on it.
    disconnect(&state_, nullptr, this, nullptr);
}

void Root::place(QWidget* control, int left, int top, int width, int height) {
    const Screen& screen = *platform_.screen;
    control->setGeometry(screen.twipsToPixelsX(left), screen.twipsToPixelsY(top),
                         screen.twipsToPixelsX(width), screen.twipsToPixelsY(height));
}

// Controls are created in the window's z-order: later ones lie above earlier ones.
void Root::createControls() {
    auto makePictureButton = [this](const QString& name, const QString& image, const QString& tip,
                                    int top) {
        auto* button = new PictureButton(this);
        button->setObjectName(name);
        button->setIcon(buttonIcon(image));
        button->setIconSize(kButtonImageSize);
        button->setToolTip(tip);
        button->setCursor(handCursor());
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::StrongFocus);
        place(button, 5220, top, 1140, 1140);
        return button;
    };
    bDrucken_ = makePictureButton(QStringLiteral("bDrucken"), QStringLiteral("print"),
                                  QStringLiteral("Dokument drucken"), 3330);
    bDrucken_->setAccessibleName(QStringLiteral("Drucken"));
    bDrucken_->setAccessibleDescription(QStringLiteral(
        "Druckt die Seite aus der Vorschau auf dem Standarddrucker, eingepasst auf ein Blatt"));
    bAnzeigen_ = makePictureButton(QStringLiteral("bAnzeigen"), QStringLiteral("show"),
                                   QStringLiteral("Dokument anzeigen"), 2115);
    bAnzeigen_->setAccessibleName(QStringLiteral("Anzeigen"));
    bAnzeigen_->setAccessibleDescription(
        QStringLiteral("Zeigt die Seite aus der Vorschau vergrößert in einem eigenen Fenster an"));

    PHilfe_ = new PictureBox(this);
    PHilfe_->setObjectName(QStringLiteral("PHilfe"));
    PHilfe_->setAutoFillBackground(false);
    PHilfe_->setPicture(QImage(QStringLiteral(":/help.png")));
    PHilfe_->setToolTip(QStringLiteral("Hilfethemen"));
    PHilfe_->setCursor(handCursor());
    PHilfe_->setActsAsButton(true);
    PHilfe_->setAccessibleName(QStringLiteral("Hilfe"));
    PHilfe_->setAccessibleDescription(
        QStringLiteral("Zeigt einen Hinweis, wie die Vorschau vergrößert wird"));
    place(PHilfe_, 5940, 6930, 480, 480);

    BVerwaltung_ = new QPushButton(QStringLiteral("..."), this);
    BVerwaltung_->setObjectName(QStringLiteral("BVerwaltung"));
    place(BVerwaltung_, 5850, 450, 510, 330);
    // Outside a dialog Qt's button takes only Space; keyboard users press Enter too.
    BVerwaltung_->setAutoDefault(true);
    BVerwaltung_->setAccessibleName(QStringLiteral("Speichern unter"));
    BVerwaltung_->setAccessibleDescription(
        QStringLiteral("Wählt Ordner und Namen, unter denen die Seite gespeichert wird"));

    Picture0_ = new PictureBox(this);
    Picture0_->setObjectName(QStringLiteral("Picture0"));
    Picture0_->setBackgroundColor(Qt::white);
    place(Picture0_, 180, 900, 4920, 6405);

    RVorhanden_ = new QLabel(QStringLiteral("Derzeit keine Vorschau verfügbar."), Picture0_);
    RVorhanden_->setObjectName(QStringLiteral("RVorhanden"));
    RVorhanden_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    RVorhanden_->setWordWrap(true);
    QFont noticeFont(QStringLiteral("Tahoma"));
    noticeFont.setPointSizeF(11.25);
    noticeFont.setItalic(true);
    RVorhanden_->setFont(noticeFont);
    RVorhanden_->setStyleSheet(
        QStringLiteral("color: rgb(128, 128, 128); background: transparent;"));
    RVorhanden_->setCursor(handCursor());
    place(RVorhanden_, 1080, 2700, 2790, 885);

    Picture2_ = new ImageControl(Picture0_);
    Picture2_->setObjectName(QStringLiteral("Picture2"));
    Picture2_->setStretch(true);
    Picture2_->setCursor(handCursor());
    place(Picture2_, 0, 0, 4915, 6355);
    // Tab only: a click on the preview must not pull the focus out of the name field.
    Picture2_->setFocusPolicy(Qt::TabFocus);
    Picture2_->setAccessibleName(QStringLiteral("Vorschau"));
    Picture2_->setAccessibleDescription(
        QStringLiteral("Zeigt die aktuelle Seite. Eingabetaste oder Doppelklick: Seite vergrößern, "
                       "bei leerer Vorschau ein gespeichertes Bild öffnen"));

    // What a command waits for, over the foot of the preview where it hides no notice.
    RWarten_ = new QLabel(Picture0_);
    RWarten_->setObjectName(QStringLiteral("RWarten"));
    RWarten_->setAlignment(Qt::AlignCenter);
    RWarten_->setWordWrap(true);
    QFont waitFont(QStringLiteral("Tahoma"), 9);
    waitFont.setItalic(true);
    RWarten_->setFont(waitFont);
    RWarten_->setStyleSheet(
        QStringLiteral("color: rgb(96, 96, 96); background: rgba(255, 255, 255, 220);"));
    RWarten_->setAttribute(Qt::WA_TransparentForMouseEvents);
    place(RWarten_, 60, 5715, 4795, 570);
    RWarten_->hide();

    bScannen_ = makePictureButton(QStringLiteral("bScannen"), QStringLiteral("scan"),
                                  QStringLiteral("Dokument scannen"), 900);
    bScannen_->setAccessibleName(QStringLiteral("Scannen"));
    bScannen_->setAccessibleDescription(
        QStringLiteral("Scannt eine Seite und speichert sie im Dokumentordner"));

    tBilddatei_ = new QLineEdit(this);
    tBilddatei_->setObjectName(QStringLiteral("tBilddatei"));
    place(tBilddatei_, 180, 450, 5610, 330);

    RNamen_ = new QLabel(QStringLiteral("&Dateiname:"), this);
    RNamen_->setObjectName(QStringLiteral("RNamen"));
    RNamen_->setBuddy(tBilddatei_);
    place(RNamen_, 210, 180, 930, 210);
    // The substitute for a missing Tahoma may run wider; never clip the caption.
    RNamen_->resize(std::max(RNamen_->width(), RNamen_->sizeHint().width()), RNamen_->height());

    // The frame carries no action of its own; the preview inside it and the
    // help picture take the focus in its place.
    Picture0_->setFocusPolicy(Qt::NoFocus);
}

void Root::setTabOrder() {
    QWidget::setTabOrder(tBilddatei_, BVerwaltung_);
    QWidget::setTabOrder(BVerwaltung_, bScannen_);
    QWidget::setTabOrder(bScannen_, bAnzeigen_);
    QWidget::setTabOrder(bAnzeigen_, bDrucken_);
    QWidget::setTabOrder(bDrucken_, Picture2_);
    QWidget::setTabOrder(Picture2_, PHilfe_);
}

void Root::connectHandlers() {
    connect(PHilfe_, &PictureBox::clicked, this, &Root::PHilfe_Click);
    connect(tBilddatei_, &QLineEdit::textChanged, &state_, &State::setFileName);

    auto starting = [this](RootCommands::Command RootCommands::*command) {
        return [this, command] { start(commands_.*command); };
    };
    connect(bScannen_, &QToolButton::clicked, this, starting(&RootCommands::bScannen_Click));
    connect(BVerwaltung_, &QPushButton::clicked, this, starting(&RootCommands::BVerwaltung_Click));
    connect(bAnzeigen_, &QToolButton::clicked, this, starting(&RootCommands::bAnzeigen_Click));
    connect(bDrucken_, &QToolButton::clicked, this, starting(&RootCommands::bDrucken_Click));
    connect(Picture2_, &ImageControl::doubleClicked, this,
            starting(&RootCommands::Picture2_DblClick));
}

void Root::observeState() {
    connect(&state_, &State::pageChanged, this, &Root::drawPage);
    connect(&state_, &State::waitingForChanged, this, &Root::drawWaitingFor);
    connect(&state_, &State::focusRequested, this, &Root::obeyFocusRequest);
    connect(&state_, &State::fileNameChanged, this, [this](const QString& name) {
        if (tBilddatei_->text() != name) tBilddatei_->setText(name);
    });
    connect(&state_, &State::commandRunningChanged, this, [this](bool running) {
        if (running) {
            inputDropper_ = std::make_unique<InputDropper>(*this);
        } else {
            inputDropper_.reset();
        }
    });
    connect(&state_, &State::pageOnlyInPreviewChanged, this, [this](bool onlyInPreview) {
        if (!onlyInPreview && closeOncePageAnswered_) bAbbrechen_Click();
    });
    drawPage();
    drawWaitingFor();
    tBilddatei_->setText(state_.fileName());
}

void Root::start(const RootCommands::Command& command) {
    if (!command) return;
    std::optional<CommandRun> run = state_.startCommand();
    if (run) command(std::move(*run));
}

void Root::drawPage() {
    Picture2_->setPicture(state_.page().picture());
    RVorhanden_->setVisible(!state_.hasPage());
}

void Root::drawWaitingFor() {
    RWarten_->setText(state_.waitingFor());
    RWarten_->setVisible(!state_.waitingFor().isEmpty());
}

void Root::obeyFocusRequest(FocusTarget target) {
    switch (target) {
        case FocusTarget::FileName:
            tBilddatei_->setFocus();
            return;
        case FocusTarget::ScanButton:
            bScannen_->setFocus();
            return;
    }
}

void Root::PHilfe_Click() {
    start([this](CommandRun run) { showPreviewHint(*platform_.messageBoxes, [run] {}); });
}

// Named after the hidden cancel button that carried it; only a close runs it.
void Root::bAbbrechen_Click() {
    // A command waiting for a box, a dialog, the scanner or a folder that
    // stopped answering would go on after a quit; nothing is written at the end anyway.
    if (state_.commandRunning()) {
        platform_.process->terminateImmediately(0);
        return;
    }
    platform_.process->quit(0);
}

QSize Root::outerSizeInTwips() const {
    const QRect frame = frameGeometry();
    return QSize(static_cast<int>(platform_.screen->pixelsToTwipsX(frame.width())),
                 static_cast<int>(platform_.screen->pixelsToTwipsY(frame.height())));
}

void Root::moveToTwips(double left, double top) {
    move(platform_.screen->twipsToPixelsX(left), platform_.screen->twipsToPixelsY(top));
}

// A page that could not be stored is not lost to a close: the close waits for
// the user's answer to the box that asks what becomes of it.
void Root::closeEvent(QCloseEvent* event) {
    const bool endCommanded = state_.remoteText() == QStringLiteral("$Ende$");
    if (state_.pageOnlyInPreview() && !endCommanded) {
        event->ignore();
        closeOncePageAnswered_ = true;
        platform_.messageBoxes->bringToFront();
        return;
    }
    event->accept();
    if (!endCommanded) bAbbrechen_Click();
}

}  // namespace ornavex
