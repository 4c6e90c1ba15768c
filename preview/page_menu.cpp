#include "preview/page_menu.h"

#include <QAction>

#include "platform/platform_services.h"
#include "shell/root.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {

PageMenu::PageMenu(Root& root, PlatformServices& platform) : root_(root), platform_(platform) {}

void PageMenu::mnuSeite1_Click() {
    root_.mnuSeite2()->setChecked(false);
    root_.mnuSeite1()->setChecked(true);
}

void PageMenu::mnuSeite2_Click() {
    platform_.pointer->set(PointerShape::Hourglass);
    root_.clearPage();
    platform_.pointer->set(PointerShape::Default);
    root_.mnuSeite1()->setChecked(false);
    root_.mnuSeite2()->setChecked(true);
    root_.Picture1()->clearPicture();
}

void PageMenu::mnuPapierkorb_Click() {
    platform_.pointer->set(PointerShape::Default);
}

}  // namespace ornavex
