#pragma once

#include <QPoint>
#include <Qt>

namespace ornavex {

class PrintPreview;
class Root;
class RootOperations;

// What the preview pane reacts to, and the enlarged view.
class PreviewPane {
  public:
    PreviewPane(Root& root, RootOperations& operations, PrintPreview& printPreview);

    void Picture2_DblClick();
    void Picture2_MouseDown(Qt::MouseButton button, QPoint position);
    void bAnzeigen_Click();

  private:
    Root& root_;
    RootOperations& operations_;
    PrintPreview& printPreview_;
};

}  // namespace ornavex
