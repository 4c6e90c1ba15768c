#pragma once

#include <QWidget>

#include "print/preview_layout.h"

class QPushButton;
class QScrollBar;

namespace ornavex {

class ImageControl;
class PictureBox;
class Screen;

// The page form of the print preview: a white page box with the picture
// stretched over it, two scroll bars that move the box, and an unseen close
// button that Escape and Enter run. Lays itself out in twips on every resize.
class Drucken : public QWidget {
    Q_OBJECT
  public:
    explicit Drucken(Screen& screen, QWidget* parent = nullptr);

    ImageControl& pImage() const { return *pImage_; }
    PictureBox& pScroller() const { return *pScroller_; }
    QScrollBar& scrollHor() const { return *scrollHor_; }
    QScrollBar& scrollVer() const { return *scrollVer_; }
    PictureBox& pEcke() const { return *pEcke_; }
    QPushButton& bBeenden() const { return *bBeenden_; }

    // The form's outer size in twips, its window frame included.
    double outerWidthTwips() const;
    double outerHeightTwips() const;

    // Gives the frame and the form their opening width, then lays out.
    void load(QWidget& frame);
    void layOut();

  signals:
    // The close button was run: the whole preview should close.
    void closeRequested();
    // The form was closed on its own or with its frame.
    void unloaded();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    QWidget& outerWindow() const;
    bool minimised() const;
    void onVerticalScroll(int value);
    void onHorizontalScroll(int value);
    void applyGeometry();
    void applyPagePosition();
    QRect pixelRect(double left, double top, double width, double height) const;

    Screen& screen_;
    PreviewGeometry geometry_;
    bool unloaded_ = false;
    PictureBox* pScroller_ = nullptr;
    ImageControl* pImage_ = nullptr;
    QScrollBar* scrollHor_ = nullptr;
    QScrollBar* scrollVer_ = nullptr;
    PictureBox* pEcke_ = nullptr;
    QPushButton* bBeenden_ = nullptr;
};

}  // namespace ornavex
