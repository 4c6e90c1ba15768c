#pragma once

namespace ornavex {

class Root;
struct PlatformServices;

// The page commands; the two page items' check marks are the page state.
class PageMenu {
  public:
    PageMenu(Root& root, PlatformServices& platform);

    void mnuSeite1_Click();
    void mnuSeite2_Click();
    void mnuPapierkorb_Click();
    void mnxEmail_Click() {}

  private:
    Root& root_;
    PlatformServices& platform_;
};

}  // namespace ornavex
