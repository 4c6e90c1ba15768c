#pragma once

namespace ornavex {

class State;
struct PlatformServices;

// The page commands; the model's page mark is the page state.
class PageMenu {
  public:
    PageMenu(State& state, PlatformServices& platform);

    void mnuSeite1_Click();
    void mnuSeite2_Click();
    void mnuPapierkorb_Click();

  private:
    State& state_;
    PlatformServices& platform_;
};

}  // namespace ornavex
