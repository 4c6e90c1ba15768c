#include <gtest/gtest.h>

#include "files/waiting_folder_notice.h"
#include "tests/fakes/fake_document_folder.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

// The document folder's calls held back, told after the window's own second.
class WaitingFolderNoticeTest : public ::testing::Test {
  protected:
    WaitingFolderNoticeTest() {
        auto inner = std::make_unique<FakeDocumentFolder>(writer, pictures);
        fake = inner.get();
        fake->held.holding = true;
        folder = std::make_unique<WaitingFolderNotice>(std::move(inner), state);
    }

    const QString archive = "/ornavex-test/Archiv/";
    FakePageWriter writer;
    FakePictureStore pictures;
    State state;
    FakeDocumentFolder* fake = nullptr;
    std::unique_ptr<WaitingFolderNotice> folder;
};

// The latest call still waiting names its folder; each answer takes away its own notice only.
TEST_F(WaitingFolderNoticeTest, FolderOfTheLatestWaitingCallIsNamedUntilItIsAnswered) {
    std::optional<FolderAnswer> answer;
    folder->askPathExists("/ornavex-test/Erster/", [](FolderAnswer) {});
    folder->askFileExists(archive + "brief.jpg", [&](FolderAnswer a) { answer = a; });
    EXPECT_EQ(state.waitingFor(), "") << "at once";
    const QString told = "Warte auf den Ordner \u201E" + archive + "\u201C \u2026";
    ASSERT_TRUE(test::waitUntil([&] { return state.waitingFor() == told; }, 10000));
    fake->held.releaseNext();
    EXPECT_EQ(state.waitingFor(), told);
    EXPECT_FALSE(answer);
    fake->held.releaseNext();
    EXPECT_EQ(answer, FolderAnswer::No);
    EXPECT_EQ(state.waitingFor(), "");
}

// The turns of the loop before the second is over pass untold.
TEST_F(WaitingFolderNoticeTest, CallAnsweredWithinASecondIsNeverTold) {
    int changes = 0;
    QObject::connect(&state, &State::waitingForChanged, [&] { ++changes; });
    const QDeadlineTimer second(900);
    LoadedPage loaded;
    folder->askLoad(archive + "brief.jpg", [&](LoadedPage page) { loaded = page; });
    for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
    fake->held.releaseAll();
    if (second.hasExpired()) GTEST_SKIP() << "the machine stood still for a second";
    EXPECT_EQ(loaded.status, PictureLoadStatus::Missing);
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace ornavex
