// A document folder on a share that stops answering: the window runs on, the
// user is told which folder, the page is stored elsewhere, and the given-up
// write never appears once the share answers again.
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "folder/folder_worker_client.h"
#include "tests/app/app_fixture.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/folder_answers.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;

class HungFolderTest : public AppFixture {
  protected:
    void SetUp() override {
        if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
        auto worker = std::make_unique<FolderWorkerClient>(
            FolderWorkerCommand{ORNAVEX_BINARY, {QStringLiteral("--folder-worker")}}, 1500ms);
        client = worker.get();
        fakes.services.folder = std::move(worker);
        // Started while the share still answers, so its start uses none of the deadline.
        ASSERT_EQ(test::pathExists(*client, mount.mount()), FolderAnswer::Yes);
        state.setFolder(mount.mount() + "/");
        state.setFileName("brief.jpg");
        state.setScannerChoice(ScannerChoice::Chosen);
        QObject::connect(&ticker, &QTimer::timeout, [this] { ++ticks; });
        ticker.start(20);
    }

    void releaseAndSettle() {
        mount.setMode("");
        ASSERT_TRUE(test::waitUntil(
            [&] { return client->workersLeftBehind() == 0 && client->writesToUndo() == 0; },
            10000));
    }

    QString unansweredReason() const { return unansweredFolderText(mount.mount() + "/"); }

    BlockingMount mount;
    FolderWorkerClient* client = nullptr;
    QTimer ticker;
    int ticks = 0;
};

TEST_F(HungFolderTest, HangingWriteIsToldWithTheFolderAndThePageIsStoredElsewhere) {
    const QString elsewhere = temp.filePath("lokal");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    fakes.scanner->deliverPage(page(300, 400));
    mount.setMode("writes");
    int ticksWhenTold = -1;
    QString nameWhenTold;
    fakes.messages->whileShown = [&](const MessageBoxRequest&) {
        if (ticksWhenTold >= 0) return;
        ticksWhenTold = ticks;
        nameWhenTold = state.fileName();
    };
    // Typed while the window waits: dropped, not taken into the waiting command.
    QTimer::singleShot(300, [&] { QTest::keyClicks(root.tBilddatei(), "x"); });
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(elsewhere + "/brief.jpg");

    scan();
    ASSERT_TRUE(finished());

    ASSERT_GE(fakes.messages->shown().size(), 1u);
    EXPECT_TRUE(fakes.messages->shown()[0].text.contains(unansweredReason()))
        << fakes.messages->shown()[0].text.toStdString();
    EXPECT_EQ(fakes.messages->shown()[0].buttons, MessageButtons::RetryElsewhereCancel);
    EXPECT_GT(ticksWhenTold, 10) << "the window's loop stood still while the share hung";
    EXPECT_EQ(nameWhenTold, "brief.jpg");
    EXPECT_EQ(QImage(elsewhere + "/brief.jpg").size(), QSize(300, 400));
    EXPECT_EQ(state.page().picture().size(), QSize(300, 400)) << "the page stays in the preview";

    releaseAndSettle();
    EXPECT_FALSE(QFile::exists(mount.backing() + "/brief.jpg")) << "the given-up write landed";
    // What the killed writer left goes with the next store there.
    ASSERT_TRUE(test::writePage(*client, state.page(), mount.mount() + "/brief2.jpg",
                                PageFormat::Jpeg, 100, ReplacePolicy::KeepExisting)
                    .ok());
    EXPECT_EQ(entriesOf(mount.backing()), QStringList{"brief2.jpg"});
}

TEST_F(HungFolderTest, FolderWhereEveryCallHangsIsToldBeforeTheScanAndCancelScansNothing) {
    mount.setMode("all");
    fakes.messages->answer(MessageAnswer::Cancel);
    scan();
    ASSERT_TRUE(finished());
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_TRUE(fakes.messages->shown()[0].text.startsWith(unansweredReason()));
    EXPECT_EQ(fakes.scanner->acquireCalls, 0);
    releaseAndSettle();
}

}  // namespace
}  // namespace ornavex
