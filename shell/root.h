#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "shell/platform_services.h"
#include "shell/state.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace ornavex {

class ImageControl;
class PictureBox;

// What the window's controls start; each gets the running command's handle.
struct RootCommands {
    using Command = std::function<void(CommandRun)>;
    Command bScannen_Click;
    Command bAssistent_Click;
    Command BVerwaltung_Click;
    Command bAnzeigen_Click;
    Command bDrucken_Click;
    Command Picture2_DblClick;
    Command mnuSeite1_Click;
    Command mnuSeite2_Click;
    Command mnuPapierkorb_Click;
};

// The main window. It holds no state of its own: it draws the model and hands
// what the user does to the commands.
class Root : public QWidget {
    Q_OBJECT
  public:
    static inline const QString kCaption = QStringLiteral("Tarnwerk Ornavex");

    Root(State& state, PlatformServices& platform, QWidget* parent = nullptr);
    ~Root() override;

    void setCommands(RootCommands commands) { commands_ = std::move(commands); }

    // Controls, by the names users know.
    QToolButton* bDrucken() const { return bDrucken_; }
    QToolButton* bAnzeigen() const { return bAnzeigen_; }
    QPushButton* bAssistent() const { return bAssistent_; }
    PictureBox* PHilfe() const { return PHilfe_; }
    QPushButton* BVerwaltung() const { return BVerwaltung_; }
    PictureBox* Picture0() const { return Picture0_; }
    QLabel* RVorhanden() const { return RVorhanden_; }
    QLabel* RWarten() const { return RWarten_; }
    ImageControl* Picture2() const { return Picture2_; }
    QToolButton* bScannen() const { return bScannen_; }
    QLineEdit* tBilddatei() const { return tBilddatei_; }
    QMenu* mnuVorgaenge() const { return mnuVorgaenge_; }
    QAction* mnxAnzeigen() const { return mnxAnzeigen_; }
    QAction* mnuSeite1() const { return mnuSeite1_; }
    QAction* mnuSeite2() const { return mnuSeite2_; }
    QAction* mnuPapierkorb() const { return mnuPapierkorb_; }
    QAction* mnxEmail() const { return mnxEmail_; }
    QAction* mnxDrucken() const { return mnxDrucken_; }

    // Sizes in twips, as the window logic measures them.
    QSize outerSizeInTwips() const;
    void moveToTwips(double left, double top);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class InputDropper;

    void createControls();
    void createMenus();
    void setTabOrder();
    void connectHandlers();
    void observeState();
    void place(QWidget* control, int left, int top, int width, int height);

    // Starts a command unless one runs already.
    void start(const RootCommands::Command& command);
    void PHilfe_Click();
    void Picture2_MouseDown(Qt::MouseButton button);
    void bAbbrechen_Click();

    void drawPage();
    void drawWaitingFor();
    void obeyFocusRequest(FocusTarget target);

    State& state_;
    PlatformServices& platform_;
    RootCommands commands_;
    std::unique_ptr<InputDropper> inputDropper_;
    bool closeOncePageAnswered_ = false;

    QToolButton* bDrucken_ = nullptr;
    QToolButton* bAnzeigen_ = nullptr;
    QPushButton* bAssistent_ = nullptr;
    PictureBox* PHilfe_ = nullptr;
    QPushButton* BVerwaltung_ = nullptr;
    PictureBox* Picture0_ = nullptr;
    QLabel* RVorhanden_ = nullptr;
    ImageControl* Picture2_ = nullptr;
    QLabel* RWarten_ = nullptr;
    QToolButton* bScannen_ = nullptr;
    QLineEdit* tBilddatei_ = nullptr;
    QComboBox* LNamen_ = nullptr;
    QLabel* RNamen_ = nullptr;

    QMenu* mnuVorgaenge_ = nullptr;
    QAction* mnxAnzeigen_ = nullptr;
    QAction* mnuSeite1_ = nullptr;
    QAction* mnuSeite2_ = nullptr;
    QAction* mnuPapierkorb_ = nullptr;
    QAction* mnxEmail_ = nullptr;
    QAction* mnxDrucken_ = nullptr;
};

}  // namespace ornavex
