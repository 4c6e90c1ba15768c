#pragma once

#include <QPoint>
#include <Qt>

namespace ornavex {

// The main window's operations and handlers that one subsystem calls in
// another. The application implements it by forwarding to the subsystem that
// owns each; the subsystems reach one another only through it.
class RootOperations {
  public:
    virtual ~RootOperations() = default;

    // Public operations of the main window.
    virtual short TwainQuelle() = 0;
    // True when a new page reached the preview.
    virtual bool TwainScan() = 0;
    virtual void TwainCopy() = 0;
    virtual void TwainLoad() = 0;

    // Handlers of the main window's controls.
    virtual void bScannen_Click() = 0;
    virtual void bAssistent_Click() = 0;
    virtual void BVerwaltung_Click() = 0;
    virtual void bAnzeigen_Click() = 0;
    virtual void bDrucken_Click() = 0;
    virtual void Picture2_DblClick() = 0;
    virtual void Picture2_MouseDown(Qt::MouseButton button, QPoint position) = 0;
    virtual void mnuSeite1_Click() = 0;
    virtual void mnuSeite2_Click() = 0;
    virtual void mnuPapierkorb_Click() = 0;
    virtual void mnxEmail_Click() = 0;
};

}  // namespace ornavex
