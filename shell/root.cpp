#include "shell/root.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "shell/hints.h"
#include "shell/root_operations.h"
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
constexpr int kTimerIntervalMs = 300;
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

Root::Root(PlatformServices& platform, QWidget* parent) : QWidget(parent), platform_(platform) {
    registerAssets();
    AccessiblePicture::install();
    setObjectName(QStringLiteral("Root"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/ornavex.png")));
    setFont(QFont(QStringLiteral("Tahoma"), 9));
    setFixedSize(platform_.screen->twipsToPixelsX(kClientWidthTwips),
                 platform_.screen->twipsToPixelsY(kClientHeightTwips));
    createControls();
    createMenus();
    setTabOrder();
    connectHandlers();
    drawState();
    Timer1_->start();
}

Root::~Root() = default;

void Root::place(QWidget* control, int left, int top, int width, int height) {
    const Screen& screen = *platform_.screen;
    control->setGeometry(screen.twipsToPixelsX(left), screen.twipsToPixelsY(top),
                         screen.twipsToPixelsX(width), screen.twipsToPixelsY(height));
}

// Controls are created in the window's z-order: later ones lie above earlier ones.
void Root::createControls() {
    Text1_ = new QLineEdit(QStringLiteral("$Start$"), this);
    Text1_->setObjectName(QStringLiteral("Text1"));
    place(Text1_, 5400, 6435, 1000, 330);
    Text1_->hide();

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

    bAbbrechen_ = new QPushButton(QStringLiteral("&Abbrechen"), this);
    bAbbrechen_->setObjectName(QStringLiteral("bAbbrechen"));
    place(bAbbrechen_, 5265, 3960, 1095, 510);
    bAbbrechen_->hide();

    bAssistent_ = new QPushButton(QStringLiteral("&Assistent"), this);
    bAssistent_->setObjectName(QStringLiteral("bAssistent"));
    place(bAssistent_, 5265, 3375, 1095, 510);
    bAssistent_->hide();

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

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(kTimerIntervalMs);

    BVerwaltung_ = new QPushButton(QStringLiteral("..."), this);
    BVerwaltung_->setObjectName(QStringLiteral("BVerwaltung"));
    place(BVerwaltung_, 5850, 450, 510, 330);
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

    bScannen_ = makePictureButton(QStringLiteral("bScannen"), QStringLiteral("scan"),
                                  QStringLiteral("Dokument scannen"), 900);
    bScannen_->setAccessibleName(QStringLiteral("Scannen"));
    bScannen_->setAccessibleDescription(
        QStringLiteral("Scannt eine Seite und speichert sie im Dokumentordner"));

    Picture1_ = new PictureBox(this);
    Picture1_->setObjectName(QStringLiteral("Picture1"));
    Picture1_->setBackgroundColor(Qt::white);
    place(Picture1_, 180, 900, 4920, 6360);
    Picture1_->hide();

    tBilddatei_ = new QLineEdit(this);
    tBilddatei_->setObjectName(QStringLiteral("tBilddatei"));
    place(tBilddatei_, 180, 450, 5610, 330);

    LNamen_ = new QComboBox(this);
    LNamen_->setObjectName(QStringLiteral("LNamen"));
    LNamen_->setEditable(true);
    LNamen_->setEditText(QStringLiteral("LNamen"));
    place(LNamen_, 180, 450, 5610, 330);
    LNamen_->hide();

    tOrdner_ = new QLabel(QStringLiteral("C:\\Eigene Dateien\\"), this);
    tOrdner_->setObjectName(QStringLiteral("tOrdner"));
    place(tOrdner_, 4815, 135, 1560, 210);
    tOrdner_->hide();

    RNamen_ = new QLabel(QStringLiteral("&Dateiname:"), this);
    RNamen_->setObjectName(QStringLiteral("RNamen"));
    RNamen_->setBuddy(tBilddatei_);
    place(RNamen_, 210, 180, 930, 210);
    // The substitute for a missing Tahoma may run wider; never clip the caption.
    RNamen_->resize(std::max(RNamen_->width(), RNamen_->sizeHint().width()), RNamen_->height());

    // The frame and the hidden copy carry no action of their own; the preview
    // inside the frame and the help picture take the focus in their place.
    Picture0_->setFocusPolicy(Qt::NoFocus);
    Picture1_->setFocusPolicy(Qt::NoFocus);
}

void Root::createMenus() {
    auto makeAction = [](QMenu* menu, const QString& name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    auto makeSeparator = [](QMenu* menu, const QString& name) {
        QAction* separator = menu->addSeparator();
        separator->setObjectName(name);
        return separator;
    };

    // Neither menu appears in a menu bar: the window has none.
    mnuVorgaenge_ = new QMenu(QStringLiteral("Vorgänge "), this);
    mnuVorgaenge_->setObjectName(QStringLiteral("mnuVorgänge"));
    mnxAnzeigen_ = makeAction(mnuVorgaenge_, QStringLiteral("mnxAnzeigen"),
                              QStringLiteral("Vergrössern ...  "));
    Trennung1_ = makeSeparator(mnuVorgaenge_, QStringLiteral("Trennung1"));
    mnuSeite1_ = makeAction(mnuVorgaenge_, QStringLiteral("mnuSeite1"),
                            QStringLiteral(" Festsetzung (Seite 1) "));
    mnuSeite1_->setCheckable(true);
    mnuSeite1_->setChecked(true);
    mnuSeite1_->setVisible(false);
    mnuSeite2_ = makeAction(mnuVorgaenge_, QStringLiteral("mnuSeite2"),
                            QStringLiteral("Berechnung (Seite 2) "));
    mnuSeite2_->setCheckable(true);
    mnuSeite2_->setVisible(false);
    Trennung2_ = makeSeparator(mnuVorgaenge_, QStringLiteral("Trennung2"));
    Trennung2_->setVisible(false);
    mnuPapierkorb_ = makeAction(mnuVorgaenge_, QStringLiteral("mnuPapierkorb"),
                                QStringLiteral("Dokumente löschen "));
    Trennung3_ = makeSeparator(mnuVorgaenge_, QStringLiteral("Trennung3"));
    mnxEmail_ = makeAction(mnuVorgaenge_, QStringLiteral("mnxEmail"),
                           QStringLiteral("E-Mail senden ...  "));
    mnxEmail_->setEnabled(false);
    mnxDrucken_ =
        makeAction(mnuVorgaenge_, QStringLiteral("mnxDrucken"), QStringLiteral("Drucken "));

    mnuZubehoer_ = new QMenu(QStringLiteral("Zubehör"), this);
    mnuZubehoer_->setObjectName(QStringLiteral("mnuZubehör"));
    mnuQuelle_ = makeAction(mnuZubehoer_, QStringLiteral("mnuQuelle"), kNoChoiceYet);
}

void Root::setTabOrder() {
    QWidget::setTabOrder(tBilddatei_, LNamen_);
    QWidget::setTabOrder(LNamen_, BVerwaltung_);
    QWidget::setTabOrder(BVerwaltung_, bScannen_);
    QWidget::setTabOrder(bScannen_, bAnzeigen_);
    QWidget::setTabOrder(bAnzeigen_, bDrucken_);
    QWidget::setTabOrder(bDrucken_, Picture2_);
    QWidget::setTabOrder(Picture2_, PHilfe_);
    QWidget::setTabOrder(PHilfe_, Text1_);
    QWidget::setTabOrder(Text1_, bAssistent_);
    QWidget::setTabOrder(bAssistent_, bAbbrechen_);
}

void Root::connectHandlers() {
    connect(Timer1_, &QTimer::timeout, this, &Root::Timer1_Timer);
    connect(PHilfe_, &PictureBox::clicked, this, &Root::PHilfe_Click);
    connect(Text1_, &QLineEdit::textChanged, this, &Root::Text1_Change);
    connect(bAbbrechen_, &QPushButton::clicked, this, &Root::bAbbrechen_Click);

    // Everything else belongs to the subsystems behind the operations.
    auto forward = [this](auto handler) {
        return [this, handler] {
            if (operations_ && !state_.commandRunning()) (operations_->*handler)();
        };
    };
    connect(bScannen_, &QToolButton::clicked, this, forward(&RootOperations::bScannen_Click));
    connect(bAssistent_, &QPushButton::clicked, this, forward(&RootOperations::bAssistent_Click));
    connect(BVerwaltung_, &QPushButton::clicked, this, forward(&RootOperations::BVerwaltung_Click));
    connect(bAnzeigen_, &QToolButton::clicked, this, forward(&RootOperations::bAnzeigen_Click));
    connect(bDrucken_, &QToolButton::clicked, this, forward(&RootOperations::bDrucken_Click));
    connect(mnxAnzeigen_, &QAction::triggered, this, forward(&RootOperations::bAnzeigen_Click));
    connect(mnxDrucken_, &QAction::triggered, this, forward(&RootOperations::bDrucken_Click));
    connect(mnuSeite1_, &QAction::triggered, this, forward(&RootOperations::mnuSeite1_Click));
    connect(mnuSeite2_, &QAction::triggered, this, forward(&RootOperations::mnuSeite2_Click));
    connect(mnuPapierkorb_, &QAction::triggered, this,
            forward(&RootOperations::mnuPapierkorb_Click));
    connect(mnxEmail_, &QAction::triggered, this, forward(&RootOperations::mnxEmail_Click));
    connect(Picture2_, &ImageControl::doubleClicked, this,
            forward(&RootOperations::Picture2_DblClick));
    connect(Picture2_, &ImageControl::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint position) {
                if (operations_ && !state_.commandRunning()) {
                    operations_->Picture2_MouseDown(button, position);
                }
            });
}

// The controls show the state.
void Root::drawState() {
    state_.setFolder(tOrdner_->text());
    connect(&state_, &State::folderChanged, tOrdner_, &QLabel::setText);
    connect(&state_, &State::fileNameChanged, this, [this](const QString& name) {
        if (tBilddatei_->text() != name) tBilddatei_->setText(name);
    });
    connect(tBilddatei_, &QLineEdit::textChanged, &state_, &State::setFileName);
    connect(&state_, &State::pageChanged, this,
            [this] { Picture2_->setPicture(state_.page().picture()); });
    connect(&state_, &State::scannerChoiceChanged, this,
            [this](ScannerChoice) { mnuQuelle_->setText(scannerFlag()); });
    connect(&state_, &State::focusRequested, this, [this](FocusTarget target) {
        if (target == FocusTarget::FileName) tBilddatei_->setFocus();
        if (target == FocusTarget::ScanButton) bScannen_->setFocus();
    });
}

QString Root::folder() const {
    return state_.folder();
}
void Root::setFolder(const QString& folder) {
    state_.setFolder(folder);
}
QString Root::fileName() const {
    return state_.fileName();
}
void Root::setFileName(const QString& name) {
    state_.setFileName(name);
}
QString Root::scannerFlag() const {
    switch (state_.scannerChoice()) {
        case ScannerChoice::NotYetAsked:
            return kNoChoiceYet;
        case ScannerChoice::None:
            return kNoSource;
        case ScannerChoice::Chosen:
            break;
    }
    return kSourceChosen;
}
void Root::setScannerFlag(const QString& flag) {
    if (flag == kNoChoiceYet) state_.setScannerChoice(ScannerChoice::NotYetAsked);
    if (flag == kNoSource) state_.setScannerChoice(ScannerChoice::None);
    if (flag == kSourceChosen) state_.setScannerChoice(ScannerChoice::Chosen);
}
void Root::setPage(Page page) {
    state_.setPage(std::move(page));
}

void Root::runCommand(const std::function<void()>& command) {
    const std::optional<CommandRun> run = state_.startCommand();
    if (run) command();
}

void Root::sizeCopyLikePreview() {
    Picture1_->resize(Picture1_->width(), Picture2_->height());
    Picture1_->resize(Picture2_->width(), Picture1_->height());
}

void Root::popUpPageMenu(QPoint globalPosition) {
    mnuVorgaenge_->popup(globalPosition);
}

void Root::PHilfe_Click() {
    runCommand([this] { showPreviewHint(*platform_.messageBoxes); });
}

void Root::Timer1_Timer() {
    RVorhanden_->setVisible(!hasPicture());
}

void Root::Text1_Change() {
    if (Text1_->text() == QStringLiteral("$Ende$")) platform_.process->terminateImmediately(0);
}

void Root::bAbbrechen_Click() {
    // A command waiting for a dialog, the scanner or a folder that stopped
    // answering would go on after a quit; nothing is written at the end anyway.
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

void Root::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Text1_->text() != QStringLiteral("$Ende$")) bAbbrechen_Click();
}

}  // namespace ornavex
