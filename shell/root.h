#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "shell/platform_services.h"
#include "shell/state.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace ornavex {

class ImageControl;
class PictureBox;

// What the window's controls start; each gets the running command's handle.
struct RootCommands {
    using Command = std::function<void(CommandRun)>;
    Command bScannen_Click;
    Command BVerwaltung_Click;
    Command bAnzeigen_Click;
    Command bDrucken_Click;
    Command Picture2_DblClick;
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
    PictureBox* PHilfe() const { return PHilfe_; }
    QPushButton* BVerwaltung() const { return BVerwaltung_; }
    PictureBox* Picture0() const { return Picture0_; }
    QLabel* RVorhanden() const { return RVorhanden_; }
    QLabel* RWarten() const { return RWarten_; }
    ImageControl* Picture2() const { return Picture2_; }
    QToolButton* bScannen() const { return bScannen_; }
    QLineEdit* tBilddatei() const { return tBilddatei_; }

    // Sizes in twips, as the window logic measures them.
    QSize outerSizeInTwips() const;
    void moveToTwips(double left, double top);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class InputDropper;

    void createControls();
    void setTabOrder();
    void connectHandlers();
    void observeState();
    void place(QWidget* control, int left, int top, int width, int height);

    // Starts a command unless one runs already.
    void start(const RootCommands::Command& command);
    void PHilfe_Click();
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
    PictureBox* PHilfe_ = nullptr;
    QPushButton* BVerwaltung_ = nullptr;
    PictureBox* Picture0_ = nullptr;
    QLabel* RVorhanden_ = nullptr;
    ImageControl* Picture2_ = nullptr;
    QLabel* RWarten_ = nullptr;
    QToolButton* bScannen_ = nullptr;
    QLineEdit* tBilddatei_ = nullptr;
    QLabel* RNamen_ = nullptr;
};

}  // namespace ornavex
