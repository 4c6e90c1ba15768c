#include "preview/page_menu.h"

#include "shell/platform_services.h"
#include "shell/state.h"

namespace ornavex {

PageMenu::PageMenu(State& state, PlatformServices& platform) : state_(state), platform_(platform) {}

void PageMenu::mnuSeite1_Click() {
    state_.setPageMark(PageMark::Seite1);
}

// An unstored page is given up without a question: the next scan is page 2.
void PageMenu::mnuSeite2_Click() {
    platform_.pointer->set(PointerShape::Hourglass);
    state_.clearPage();
    platform_.pointer->set(PointerShape::Default);
    state_.setPageMark(PageMark::Seite2);
}

void PageMenu::mnuPapierkorb_Click() {
    platform_.pointer->set(PointerShape::Default);
}

}  // namespace ornavex
