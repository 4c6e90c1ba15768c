#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

#include "platform/page.h"
#include "platform/platform_services.h"
#include "shell/state.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;

namespace ornavex {

class ImageControl;
class PictureBox;
class RootOperations;

// The main window. Besides the user interface it holds the run-time state: the
// page (shown in Picture2, with a full-size copy in Picture1), and in its
// controls the document folder (tOrdner), the file name (tBilddatei), the
// scanner-state flag (mnuQuelle's caption), the page marks (mnuSeite1/mnuSeite2)
// and the remote-control field (Text1).
class Root : public QWidget {
    Q_OBJECT
  public:
    static inline const QString kCaption = QStringLiteral("Tarnwerk Ornavex");
    // The scanner-state flag's values.
    static inline const QString kNoChoiceYet = QStringLiteral("-1");
    static inline const QString kNoSource = QStringLiteral("0");
    static inline const QString kSourceChosen = QStringLiteral("1");

    explicit Root(PlatformServices& platform, QWidget* parent = nullptr);
    ~Root() override;

    void setOperations(RootOperations* operations) { operations_ = operations; }

    State& state() { return state_; }

    // Controls, by the names users and host programs know.
    QLineEdit* Text1() const { return Text1_; }
    QToolButton* bDrucken() const { return bDrucken_; }
    QToolButton* bAnzeigen() const { return bAnzeigen_; }
    QPushButton* bAbbrechen() const { return bAbbrechen_; }
    QPushButton* bAssistent() const { return bAssistent_; }
    PictureBox* PHilfe() const { return PHilfe_; }
    QTimer* Timer1() const { return Timer1_; }
    QPushButton* BVerwaltung() const { return BVerwaltung_; }
    PictureBox* Picture0() const { return Picture0_; }
    QLabel* RVorhanden() const { return RVorhanden_; }
    ImageControl* Picture2() const { return Picture2_; }
    QToolButton* bScannen() const { return bScannen_; }
    PictureBox* Picture1() const { return Picture1_; }
    QLineEdit* tBilddatei() const { return tBilddatei_; }
    QComboBox* LNamen() const { return LNamen_; }
    QLabel* tOrdner() const { return tOrdner_; }
    QLabel* RNamen() const { return RNamen_; }
    QMenu* mnuVorgaenge() const { return mnuVorgaenge_; }
    QAction* mnxAnzeigen() const { return mnxAnzeigen_; }
    QAction* mnuSeite1() const { return mnuSeite1_; }
    QAction* mnuSeite2() const { return mnuSeite2_; }
    QAction* mnuPapierkorb() const { return mnuPapierkorb_; }
    QAction* mnxEmail() const { return mnxEmail_; }
    QAction* mnxDrucken() const { return mnxDrucken_; }
    QMenu* mnuZubehoer() const { return mnuZubehoer_; }
    QAction* mnuQuelle() const { return mnuQuelle_; }

    // State held in the controls.
    QString folder() const;
    void setFolder(const QString& folder);
    QString fileName() const;
    void setFileName(const QString& name);
    QString scannerFlag() const;
    void setScannerFlag(const QString& flag);
    // The page is the window's own value; the controls only show it.
    const Page& page() const { return state_.page(); }
    void setPage(Page page);
    void clearPage() { setPage(Page()); }
    bool hasPicture() const { return state_.hasPage(); }
    const QImage& picture() const { return state_.page().picture(); }

    // While a command runs, the controls start no other; closing and the
    // remote control still act at once.
    bool commandRunning() const { return state_.commandRunning(); }
    void runCommand(const std::function<void()>& command);
    QString pagePath() const { return folder() + fileName(); }

    // Gives the full-size copy the preview's height, then its width.
    void sizeCopyLikePreview();

    // Opens the page menu at the given screen position.
    void popUpPageMenu(QPoint globalPosition);

    // Handlers of this window's own events.
    void PHilfe_Click();
    void Timer1_Timer();
    void Text1_Change();
    void bAbbrechen_Click();

    // Sizes in twips, as the window logic measures them.
    QSize outerSizeInTwips() const;
    void moveToTwips(double left, double top);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void createMenus();
    void setTabOrder();
    void connectHandlers();
    void drawState();
    void place(QWidget* control, int left, int top, int width, int height);

    PlatformServices& platform_;
    RootOperations* operations_ = nullptr;
    State state_;

    QLineEdit* Text1_ = nullptr;
    QToolButton* bDrucken_ = nullptr;
    QToolButton* bAnzeigen_ = nullptr;
    QPushButton* bAbbrechen_ = nullptr;
    QPushButton* bAssistent_ = nullptr;
    PictureBox* PHilfe_ = nullptr;
    QTimer* Timer1_ = nullptr;
    QPushButton* BVerwaltung_ = nullptr;
    PictureBox* Picture0_ = nullptr;
    QLabel* RVorhanden_ = nullptr;
    ImageControl* Picture2_ = nullptr;
    QToolButton* bScannen_ = nullptr;
    PictureBox* Picture1_ = nullptr;
    QLineEdit* tBilddatei_ = nullptr;
    QComboBox* LNamen_ = nullptr;
    QLabel* tOrdner_ = nullptr;
    QLabel* RNamen_ = nullptr;

    QMenu* mnuVorgaenge_ = nullptr;
    QAction* mnxAnzeigen_ = nullptr;
    QAction* Trennung1_ = nullptr;
    QAction* mnuSeite1_ = nullptr;
    QAction* mnuSeite2_ = nullptr;
    QAction* Trennung2_ = nullptr;
    QAction* mnuPapierkorb_ = nullptr;
    QAction* Trennung3_ = nullptr;
    QAction* mnxEmail_ = nullptr;
    QAction* mnxDrucken_ = nullptr;
    QMenu* mnuZubehoer_ = nullptr;
    QAction* mnuQuelle_ = nullptr;
};

}  // namespace ornavex
