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
    QSignalSpy mark(&state, &State::pageMarkChanged);
    QSignalSpy waiting(&state, &State::waitingForChanged);
    for (int i = 0; i < 2; ++i) {
        state.setFolder(QStringLiteral("/archiv/"));
        state.setFileName(QStringLiteral("brief.jpg"));
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setPageMark(PageMark::Seite2);
        state.setWaitingFor(QStringLiteral("Ordner"));
    }
    for (const QSignalSpy* spy : {&folder, &name, &choice, &mark, &waiting}) {
        EXPECT_EQ(spy->count(), 1);
    }
    EXPECT_EQ(state.pagePath(), QStringLiteral("/archiv/brief.jpg"));

    // A host program may write the same text again and expects it to be seen.
    QSignalSpy remote(&state, &State::remoteTextChanged);
    state.setRemoteText(QStringLiteral("x"));
    state.setRemoteText(QStringLiteral("x"));
    EXPECT_EQ(remote.count(), 2);
}

TEST(StateTest, OneCommandAtATimeUntilItsLastStepLetsGo) {
    State state;
    QSignalSpy running(&state, &State::commandRunningChanged);
    std::optional<CommandRun> first = state.startCommand();
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(state.startCommand().has_value()) << "a second command started meanwhile";

    CommandRun laterStep = *first;
    first.reset();
    EXPECT_TRUE(state.commandRunning()) << "ended while a step still held it";
    laterStep.reset();
    EXPECT_FALSE(state.commandRunning());
    ASSERT_EQ(running.count(), 2);
    EXPECT_EQ(running.at(1).at(0).toBool(), false);
    EXPECT_TRUE(state.startCommand().has_value());
}

}  // namespace
}  // namespace ornavex
