#include <gtest/gtest.h>

#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>

#include "tests/scan/scanner_test_support.h"

namespace ornavex::test {
namespace {

constexpr int kBound = 20000;

// Deadlines that a loaded machine never misses, but for the one a test is about.
ScannerDeadlines patientBut(
    std::chrono::milliseconds ScannerDeadlines::*deadline = &ScannerDeadlines::finish,
    std::chrono::milliseconds value = std::chrono::seconds(30)) {
    using namespace std::chrono_literals;
    ScannerDeadlines deadlines{.search = 60s, .open = 60s, .silentScan = 60s, .finish = 30s};
    deadlines.*deadline = value;
    return deadlines;
}

// Everything one request brought back.
struct Outcome {
    std::optional<DeviceStatus> status;  // of the open or of the page
    QImage page;
    std::vector<SaneOptionInfo> options;
    bool answered = false;
    std::optional<WorkerLoss> loss;
    std::vector<int> progress;
};

class ScannerServiceTest : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevice(); }

    void restart(ScannerDeadlines deadlines, WorkerCommand worker = testWorker()) {
        client = std::make_unique<ScannerClient>(std::move(worker), deadlines);
    }

    // Sends the request and collects what comes back until it is answered or the worker lost.
    Outcome run(const std::function<void()>& request) {
        Outcome outcome;
        QObject scope;
        QObject::connect(client.get(), &ScannerClient::deviceOpened, &scope,
                         [&](DeviceStatus status, const std::vector<SaneOptionInfo>& options) {
                             outcome.status = status;
                             outcome.options = options;
                             outcome.answered = true;
                         });
        QObject::connect(client.get(), &ScannerClient::pageEnded, &scope,
                         [&](DeviceStatus status, const QImage& page) {
                             outcome.status = status;
                             outcome.page = page;
                         });
        QObject::connect(client.get(), &ScannerClient::scanEnded, &scope,
                         [&] { outcome.answered = true; });
        QObject::connect(client.get(), &ScannerClient::scanProgressed, &scope,
                         [&](int permille) { outcome.progress.push_back(permille); });
        QObject::connect(client.get(), &ScannerClient::workerLost, &scope,
                         [&](WorkerLoss loss) { outcome.loss = loss; });
        request();
        EXPECT_TRUE(waitUntil([&] { return outcome.answered || outcome.loss; }, kBound));
        return outcome;
    }

    DeviceStatus open(const QString& device) {
        return run([&] { client->openDevice(device); }).status.value_or(DeviceStatus::Failed);
    }

    std::unique_ptr<ScannerClient> client =
        std::make_unique<ScannerClient>(testWorker(), quickDeadlines());
};

// The same page from the command-line frontend, taken as soon as it is complete (a partial
// one does not decode): the test device can hang in its own cancel after the page.
QImage referencePage(const QStringList& options) {
    QProcess scanimage;
    scanimage.start("scanimage", QStringList{"-d", "test:0", "--format=pnm"} + options);
    QByteArray data;
    QImage page;
    for (QDeadlineTimer deadline(kBound); page.isNull() && !deadline.hasExpired();) {
        const bool running = scanimage.state() != QProcess::NotRunning;
        scanimage.waitForReadyRead(100);
        data += scanimage.readAllStandardOutput();
        page = QImage::fromData(data, "PNM");
        if (!running) break;
    }
    scanimage.kill();
    scanimage.waitForFinished(5000);
    return page;
}

// Options as "name=value", also handed to scanimage as "--name value".
TEST_F(ScannerServiceTest, DeliversThePageTheReferenceFrontendGetsThroughSharedMemory) {
    const std::tuple<QStringList, QImage::Format, int> rows[] = {
        {{"mode=Gray", "depth=1", "test-picture=Grid"}, QImage::Format_Mono, 1000},
        {{"mode=Color", "three-pass=true", "three-pass-order=BGR"}, QImage::Format_BGR888, 1000},
        // A hand scanner cannot say how far the page is done.
        {{"mode=Color", "hand-scanner=true"}, QImage::Format_BGR888, -1}};
    for (const auto& [options, format, lastProgress] : rows) {
        SCOPED_TRACE(options.join(' ').toStdString());
        restart(quickDeadlines());
        ASSERT_EQ(open("test:0"), DeviceStatus::Good);
        ScanRequest request;
        request.dpi = 50;
        request.otherOptions = QStringList{"test-picture=Color pattern"} + options;
        const Outcome outcome = run([&] { client->scan(request); });
        ASSERT_EQ(outcome.status, DeviceStatus::Good);
        EXPECT_EQ(outcome.page.format(), format);
        EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(50 / 0.0254));
        EXPECT_EQ(outcome.progress.empty() ? 0 : outcome.progress.back(), lastProgress);

        QStringList reference = {"--resolution", "50"};
        for (const QString& assignment : request.otherOptions)  // scanimage says yes for true
            reference << "--" + QString(assignment).replace("=true", "=yes");
        EXPECT_EQ(outcome.page.convertToFormat(QImage::Format_RGB888),
                  referencePage(reference).convertToFormat(QImage::Format_RGB888));
    }
}

// The test device's reader can deadlock inside its own cancel now and then; every
// status must arrive all the same, and a worker stuck after it is replaced. Only the
// finish deadline is short, to give up such a cancel soon. 200 pages in four parts.
class ScannerStatusRoundsTest : public ScannerServiceTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(ScannerStatusRoundsTest, InjectedStatusesEachArriveAndNothingHangs) {
    restart(patientBut(&ScannerDeadlines::finish, std::chrono::seconds(1)));
    using enum DeviceStatus;
    const std::pair<const char*, DeviceStatus> statuses[] = {
        {"NO_DOCS", NoDocuments},        {"JAMMED", Jammed},    {"COVER_OPEN", CoverOpen},
        {"DEVICE_BUSY", Busy},           {"IO_ERROR", IoError}, {"NO_MEM", NoMemory},
        {"ACCESS_DENIED", AccessDenied}, {"INVAL", Invalid},    {"UNSUPPORTED", Unsupported},
        {"CANCELLED", Cancelled},        {"EOF", NoData}};
    for (int round = GetParam(); round < GetParam() + 50; ++round) {
        const auto& [injected, expected] = statuses[round % std::size(statuses)];
        if (client->state() != ScannerClient::State::Ready) {
            ASSERT_EQ(open("test:0"), DeviceStatus::Good) << "round " << round;
        }
        ScanRequest request;
        request.dpi = 10;
        request.width = 50;
        request.height = 50;
        request.otherOptions = {QStringLiteral("read-return-value=SANE_STATUS_%1").arg(injected)};
        const Outcome outcome = run([&] { client->scan(request); });
        ASSERT_EQ(outcome.status, expected) << "round " << round << " " << injected;
        EXPECT_NE(outcome.loss, WorkerLoss::Crashed);
    }
}

INSTANTIATE_TEST_SUITE_P(From, ScannerStatusRoundsTest, ::testing::Values(0, 50, 100, 150));

TEST_F(ScannerServiceTest, TheDemoDeviceOfTheRunCommandScansAColourA4Page) {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config/with-system-scanners");
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 50;
    const Outcome outcome = run([&] { client->scan(request); });
    ASSERT_EQ(outcome.status, DeviceStatus::Good);
    EXPECT_FALSE(outcome.page.allGray());
    EXPECT_EQ(outcome.page.size(), QSize(413, 584));  // 210 x 297 mm
}

TEST_F(ScannerServiceTest, AnOptionListLargerThanASocketBufferArrivesWhole) {
    restart(patientBut());
    useFaultBackend("options=many");
    const Outcome outcome = run([&] { client->openDevice("ornavexfault:0"); });
    const auto many =
        std::ranges::find(outcome.options, QStringLiteral("ornavex-many"), &SaneOptionInfo::name);
    ASSERT_NE(many, outcome.options.end());
    EXPECT_EQ(many->strings.size(), 4000);
    EXPECT_EQ(many->strings.last(), "3999" + QString(100, 'x'));
}

// A page that lasts longer than the silence deadline, while the window also looks away longer.
constexpr std::chrono::milliseconds kSilence{1500};

// Progress re-arms the silence deadline; piling up unread, it makes the worker wait, not give up.
// A page's end that waits in the socket when the deadline comes still counts. A row's size is also
// the area asked for (the device's whole bed is 200 x 300 pixels); then come the seconds the window
// reads nothing meanwhile, and whether it also ignores the socket until the deadline has come.
TEST_F(ScannerServiceTest, TheDeviceMisbehavingStillGivesTheRightPageOrStatus) {
    using enum DeviceStatus;
    const std::tuple<const char*, const char*, DeviceStatus, QSize, int, bool> rows[] = {
        {"PixelAreaUnreadableResolution", "resolution=unreadable", Good, {50, 40}, 0, false},
        {"LargerThanTheLargestPage", "parameters=huge", TooLarge, {0, 0}, 0, false},
        {"WindowBusyWhileDataFlows", "read=trickle:10000", Good, {200, 300}, 8, false},
        {"PageEndWaitingWhenTheDeadlineComes", "", Good, {200, 300}, 3, true}};
    for (const auto& [name, faults, status, size, busySeconds, socketHeld] : rows) {
        SCOPED_TRACE(name);
        restart(patientBut(&ScannerDeadlines::silentScan, kSilence));
        useFaultBackend(faults);
        ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
        const QPointer<QSocketNotifier> socketTurn = client->findChild<QSocketNotifier*>();
        ASSERT_TRUE(socketTurn);
        ScanRequest request;
        request.dpi = 150;
        request.width = size.width();
        request.height = size.height();
        const Outcome outcome = run([&] {
            client->scan(request);
            socketTurn->setEnabled(!socketHeld);
            QThread::sleep(busySeconds);
        });
        if (socketTurn) socketTurn->setEnabled(true);
        EXPECT_FALSE(outcome.loss);
        EXPECT_EQ(outcome.status, status);
        EXPECT_EQ(outcome.page.size(), size);
        if (outcome.page.isNull()) continue;
        EXPECT_EQ(outcome.page.pixel(20, 30), qRgb(50, 50, 50));
        // Not a silent 96 dpi where the device can't tell: the resolution asked for.
        EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(150 / 0.0254));
    }
}

// A cancel the driver never sees, or a login nobody answers, is given up after the finish
// deadline, not the silence one.
TEST_F(ScannerServiceTest, AbbrechenEndsThePageAfterTheFinishDeadline) {
    for (const auto& [faults, asksLogin] :
         {std::pair("read=hang-midway", false), std::pair("start=auth", true)}) {
        SCOPED_TRACE(faults);
        restart(patientBut(&ScannerDeadlines::finish, std::chrono::milliseconds(500)));
        useFaultBackend(faults);
        ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
        bool asked = false;
        QObject scope;
        QObject::connect(client.get(), &ScannerClient::loginRequested, &scope,
                         [&] { asked = true; });
        const Outcome outcome = run([&] {
            client->scan({});
            waitUntil([&] { return asked || !client->pageSoFar().isNull(); }, kBound);
            client->cancelScan();
        });
        EXPECT_EQ(asked, asksLogin);
        if (!asksLogin) {
            EXPECT_EQ(outcome.loss, WorkerLoss::Hung);
        }
    }
}

// The open's deadline counts the time before the login question, not the time after it again.
TEST_F(ScannerServiceTest, AnOpenThatHangsAfterALoginIsGivenUpAtItsDeadline) {
    constexpr std::chrono::milliseconds kOpen{6000};
    restart(patientBut(&ScannerDeadlines::open, kOpen));
    useFaultBackend("open=auth-after:4000");
    QObject scope;
    QObject::connect(client.get(), &ScannerClient::loginRequested, &scope,
                     [this] { client->answerLogin("scan", "geheim"); });
    QElapsedTimer elapsed;
    elapsed.start();
    const Outcome outcome = run([&] { client->openDevice("ornavexfault:0"); });
    EXPECT_EQ(outcome.loss, WorkerLoss::Hung);
    // Started afresh by the answer, the deadline would end only after both together.
    EXPECT_LT(elapsed.elapsed(), kOpen.count() + 4000 / 2);
}

// Memory whose size can change would crash the window when shrunk; rows that can still
// be written are no finished page. Either way the worker is not to be trusted. A reply to an
// older request is not the answer.
TEST_F(ScannerServiceTest, TakesOnlyWhatAWorkerKeepingTheRulesSends) {
    for (const auto& [mode, taken] :
         {std::pair("stale", true), std::pair("writable", false), std::pair("unsealed", false)}) {
        SCOPED_TRACE(mode);
        restart(patientBut(), {QStringLiteral(ORNAVEX_FAKE_WORKER), {QString::fromLatin1(mode)}});
        ASSERT_EQ(open("fake:0"), DeviceStatus::Good);
        const Outcome outcome = run([&] { client->scan({}); });
        EXPECT_EQ(outcome.loss, taken ? std::nullopt : std::optional(WorkerLoss::Crashed));
        EXPECT_EQ(outcome.page.size(), taken ? QSize(10, 10) : QSize(0, 0));
    }
}

}  // namespace
}  // namespace ornavex::test
