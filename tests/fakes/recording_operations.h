#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "shell/root_operations.h"

namespace ornavex {

// Stands in for the other subsystems: records which operations were called.
class RecordingOperations : public RootOperations {
  public:
    std::vector<QString> calls;
    std::function<void()> onTwainQuelle;

    short TwainQuelle() override {
        calls.push_back(QStringLiteral("TwainQuelle"));
        if (onTwainQuelle) onTwainQuelle();
        return 1;
    }
    bool TwainScan() override { return record("TwainScan"), false; }
    void TwainCopy() override { record("TwainCopy"); }
    void TwainLoad() override { record("TwainLoad"); }
    void bScannen_Click() override { record("bScannen_Click"); }
    void bAssistent_Click() override { record("bAssistent_Click"); }
    void BVerwaltung_Click() override { record("BVerwaltung_Click"); }
    void bAnzeigen_Click() override { record("bAnzeigen_Click"); }
    void bDrucken_Click() override { record("bDrucken_Click"); }
    void Picture2_DblClick() override { record("Picture2_DblClick"); }
    void Picture2_MouseDown(Qt::MouseButton, QPoint) override { record("Picture2_MouseDown"); }
    void mnuSeite1_Click() override { record("mnuSeite1_Click"); }
    void mnuSeite2_Click() override { record("mnuSeite2_Click"); }
    void mnuPapierkorb_Click() override { record("mnuPapierkorb_Click"); }
    void mnxEmail_Click() override { record("mnxEmail_Click"); }

  private:
    void record(const char* name) { calls.push_back(QString::fromLatin1(name)); }
};

}  // namespace ornavex
