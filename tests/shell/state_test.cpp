#include "shell/state.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace ornavex {
namespace {

// Observers redraw on every signal: a write of the same value must stay quiet.
TEST(StateTest, TellsAChangeOnceAndASameValueNotAtAll) {
    State state;
    QSignalSpy folder(&state, &State::folderChanged);
    QSignalSpy name(&state, &State::fileNameChanged);
    QSignalSpy choice(&state, &State::scannerChoiceChanged);
    QSignalSpy waiting(&state, &State::waitingForChanged);
    for (int i = 0; i < 2; ++i) {
        state.setFolder(QStringLiteral("/archiv/"));
        state.setFileName(QStringLiteral("brief.jpg"));
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setWaitingFor(QStringLiteral("Ordner"));
    }
    for (const QSignalSpy* spy : {&folder, &name, &choice, &waiting}) {
        EXPECT_EQ(spy->count(), 1);
    }
    EXPECT_EQ(state.pagePath(), QStringLiteral("/archiv/brief.jpg"));

    // A host program may write the same text again and expects it to be seen.
    QSignalSpy remote(&state, &State::remoteTextChanged);
    state.setRemoteText(QStringLiteral("x"));
    state.setRemoteText(QStringLiteral("x"));
    EXPECT_EQ(remote.count(), 2);
}

}  // namespace
}  // namespace ornavex
