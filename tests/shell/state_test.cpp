#include "shell/state.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace ornavex {
namespace {

// Observers redraw on every signal: a write of the same value must stay quiet.
// A host program may write the same text again and expects it to be seen.
TEST(StateTest, TellsAChangeOnceAndASameValueNotAtAllButEveryRemoteText) {
    State state;
    QSignalSpy folder(&state, &State::folderChanged);
    QSignalSpy name(&state, &State::fileNameChanged);
    QSignalSpy choice(&state, &State::scannerChoiceChanged);
    QSignalSpy waiting(&state, &State::waitingForChanged);
    QSignalSpy remote(&state, &State::remoteTextChanged);
    for (int i = 0; i < 2; ++i) {
        state.setFolder(QStringLiteral("/archiv/"));
        state.setFileName(QStringLiteral("brief.jpg"));
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setWaitingFor(QStringLiteral("Ordner"));
        state.setRemoteText(QStringLiteral("x"));
    }
    EXPECT_EQ((std::vector<qsizetype>{folder.count(), name.count(), choice.count(), waiting.count(),
                                      remote.count()}),
              (std::vector<qsizetype>{1, 1, 1, 1, 2}));
    EXPECT_EQ(state.pagePath(), QStringLiteral("/archiv/brief.jpg"));
}

}  // namespace
}  // namespace ornavex
