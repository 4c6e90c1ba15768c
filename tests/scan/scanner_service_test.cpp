#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <optional>

#include "tests/scan/scanner_test_support.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

using test::quickDeadlines;
using test::testWorker;
using test::useFaultBackend;
using test::useTestDevice;
using test::waitUntil;

constexpr int kBound = 20000;

// Deadlines that a loaded machine never misses, but for the one the tests are about.
ScannerDeadlines patientDeadlines() {
    using namespace std::chrono_literals;
    return {.search = 60s, .open = 60s, .silentScan = 60s, .finish = 30s};
}

// Everything one request brought back.
struct Outcome {
    std::optional<DeviceStatus> status;  // of the open or of the page
    QImage page;
    bool answered = false;
    std::optional<WorkerLoss> loss;
    std::vector<int> progress;
};

class ScannerServiceTest : public ::testing::Test {
  protected:
    explicit ScannerServiceTest(ScannerDeadlines deadlines = quickDeadlines(),
                                WorkerCommand worker = testWorker())
        : client(std::move(worker), deadlines) {}
    void SetUp() override { useTestDevice(); }
    void TearDown() override { useTestDevice(); }

    // Sends the request and collects what comes back until it is answered or the worker lost.
    Outcome run(const std::function<void()>& request) {
        Outcome outcome;
        QObject scope;
        const auto answered = [&] { outcome.answered = true; };
        const auto ended = [&](DeviceStatus status, const QImage& page = {}) {
            outcome.status = status;
            outcome.page = page;
        };
        QObject::connect(&client, &ScannerClient::deviceOpened, &scope, ended);
        QObject::connect(&client, &ScannerClient::deviceOpened, &scope, answered);
        QObject::connect(&client, &ScannerClient::pageEnded, &scope, ended);
        QObject::connect(&client, &ScannerClient::scanEnded, &scope, answered);
        QObject::connect(&client, &ScannerClient::scanProgressed, &scope,
                         [&](int permille) { outcome.progress.push_back(permille); });
        QObject::connect(&client, &ScannerClient::workerLost, &scope,
                         [&](WorkerLoss loss) { outcome.loss = loss; });
        request();
        EXPECT_TRUE(waitUntil([&] { return outcome.answered || outcome.loss; }, kBound));
        return outcome;
    }

    DeviceStatus open(const QString& device) {
        return run([&] { client.openDevice(device); }).status.value_or(DeviceStatus::Failed);
    }

    Outcome scan(const ScanRequest& request = {}) {
        return run([&] { client.scan(request); });
    }

    ScannerClient client;
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

struct PageRow {
    const char* name;
    QStringList options;  // as "name=value", also handed to scanimage as "--name value"
    QImage::Format format;
    bool lengthUnknown = false;  // a hand scanner cannot say how far the page is done
};

class ScannerPageTest : public ScannerServiceTest, public ::testing::WithParamInterface<PageRow> {};

TEST_P(ScannerPageTest, DeliversThePageTheReferenceFrontendGetsThroughSharedMemory) {
    const PageRow& row = GetParam();
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 50;
    request.otherOptions = QStringList{"test-picture=Color pattern"} + row.options;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.status, DeviceStatus::Good);
    EXPECT_EQ(outcome.page.format(), row.format);
    EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(50 / 0.0254));
    ASSERT_FALSE(outcome.progress.empty());
    EXPECT_EQ(outcome.progress.back(), row.lengthUnknown ? -1 : 1000);

    QStringList reference = {"--resolution", "50"};
    for (const QString& assignment : request.otherOptions)  // scanimage says yes for true
        reference << "--" + QString(assignment).replace("=true", "=yes");
    const QImage expected = referencePage(reference);
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(outcome.page.convertToFormat(QImage::Format_RGB888),
              expected.convertToFormat(QImage::Format_RGB888));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScannerPageTest,
    ::testing::Values(
        PageRow{"Lineart", {"mode=Gray", "depth=1", "test-picture=Grid"}, QImage::Format_Mono},
        PageRow{"ThreePassBlueFirst",
                {"mode=Color", "three-pass=true", "three-pass-order=BGR"},
                QImage::Format_RGB888},
        PageRow{"HandScanner", {"mode=Color", "hand-scanner=true"}, QImage::Format_RGB888, true}),
    test::byName);

// The test device's reader can deadlock inside its own cancel now and then; every
// status must arrive all the same, and a worker stuck after it is replaced. Only the
// finish deadline is short, to give up such a cancel soon: a healthy worker that misses
// it on a busy machine has delivered its status already. 200 pages in four parts, each
// far within a test's time.
class ScannerStatusRoundsTest : public ScannerServiceTest,
                                public ::testing::WithParamInterface<int> {
  protected:
    ScannerStatusRoundsTest() : ScannerServiceTest(withQuickFinish()) {}
    static ScannerDeadlines withQuickFinish() {
        ScannerDeadlines deadlines = patientDeadlines();
        deadlines.finish = std::chrono::seconds(1);
        return deadlines;
    }
};

TEST_P(ScannerStatusRoundsTest, InjectedStatusesEachArriveAndNothingHangs) {
    const std::pair<const char*, DeviceStatus> statuses[] = {
        {"NO_DOCS", DeviceStatus::NoDocuments},
        {"JAMMED", DeviceStatus::Jammed},
        {"COVER_OPEN", DeviceStatus::CoverOpen},
        {"DEVICE_BUSY", DeviceStatus::Busy},
        {"IO_ERROR", DeviceStatus::IoError},
        {"NO_MEM", DeviceStatus::NoMemory},
        {"ACCESS_DENIED", DeviceStatus::AccessDenied},
        {"INVAL", DeviceStatus::Invalid},
        {"UNSUPPORTED", DeviceStatus::Unsupported},
        {"CANCELLED", DeviceStatus::Cancelled},
        {"EOF", DeviceStatus::NoData}};
    for (int round = GetParam(); round < GetParam() + 50; ++round) {
        const auto& [injected, expected] = statuses[round % std::size(statuses)];
        if (client.state() != ScannerClient::State::Ready) {
            ASSERT_EQ(open("test:0"), DeviceStatus::Good) << "round " << round;
        }
        ScanRequest request;
        request.dpi = 10;
        request.width = 50;
        request.height = 50;
        request.otherOptions = {QStringLiteral("read-return-value=SANE_STATUS_%1").arg(injected)};
        const Outcome outcome = scan(request);
        ASSERT_EQ(outcome.status, expected) << "round " << round << " " << injected;
        EXPECT_NE(outcome.loss, WorkerLoss::Crashed);
    }
}

INSTANTIATE_TEST_SUITE_P(Rounds, ScannerStatusRoundsTest, ::testing::Values(0, 50, 100, 150),
                         [](const auto& info) { return "From" + std::to_string(info.param); });

struct FaultRow {
    const char* name;
    const char* faults;
    WorkerLoss loss;
};

class ScannerFaultTest : public ScannerServiceTest,
                         public ::testing::WithParamInterface<FaultRow> {};

TEST_P(ScannerFaultTest, AHungOrCrashedDriverIsReplacedAndTheNextScanWorks) {
    useFaultBackend(GetParam().faults);
    const bool whileScanning = QByteArray(GetParam().faults).startsWith("read");
    if (whileScanning) {
        ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    }
    const Outcome outcome =
        run([&] { whileScanning ? client.scan({}) : client.openDevice("ornavexfault:0"); });
    ASSERT_EQ(outcome.loss, GetParam().loss);

    // A fresh worker takes the next request.
    useFaultBackend("");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    const Outcome next = scan();
    EXPECT_EQ(next.status, DeviceStatus::Good);
    EXPECT_FALSE(next.loss);
}

// A search or a close that hangs: see the scanner dialog tests.
INSTANTIATE_TEST_SUITE_P(
    Rows, ScannerFaultTest,
    ::testing::Values(FaultRow{"OpenHangs", "open=hang", WorkerLoss::Hung},
                      FaultRow{"InitCrashes", "init=crash", WorkerLoss::Crashed},
                      FaultRow{"ReadHangsMidway", "read=hang-midway", WorkerLoss::Hung}),
    test::byName);

TEST_F(ScannerServiceTest, PixelGeometryAndAnUnreadableResolutionStillGiveTheRightPage) {
    useFaultBackend("resolution=unreadable");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 150;
    request.width = 50;
    request.height = 40;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.status, DeviceStatus::Good);
    EXPECT_EQ(outcome.page.size(), QSize(50, 40));
    EXPECT_EQ(outcome.page.pixel(20, 30), qRgb(50, 50, 50));
    // Not a silent 96 dpi: the resolution asked for, since the device can't tell.
    EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(150 / 0.0254));
}

TEST_F(ScannerServiceTest, TheDemoDeviceOfTheRunCommandScansAColourA4Page) {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config/with-system-scanners");
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 50;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.status, DeviceStatus::Good);
    EXPECT_FALSE(outcome.page.allGray());
    EXPECT_EQ(outcome.page.size(), QSize(413, 584));  // 210 x 297 mm
}

TEST_F(ScannerServiceTest, DroppingTheClientNeverWaitsAndTakesAHungWorkerAlong) {
    useFaultBackend("get_devices=hang");
    auto doomed = std::make_unique<ScannerClient>(testWorker(), quickDeadlines());
    doomed->searchDevices();
    const pid_t worker = doomed->workerPid();
    ASSERT_GT(worker, 0);
    QThread::msleep(300);  // well into the hanging search
    QElapsedTimer dropping;
    dropping.start();
    doomed.reset();
    EXPECT_LT(dropping.elapsed(), 1000);
    // The test is the worker's parent: waitpid sees it die (or reaped already).
    EXPECT_TRUE(waitUntil([worker] { return ::waitpid(worker, nullptr, WNOHANG) != 0; }, 5000));
}

class ScannerStressTest : public ScannerServiceTest {
  protected:
    explicit ScannerStressTest(ScannerDeadlines deadlines = patientDeadlines())
        : ScannerServiceTest(deadlines) {}

    Outcome scanFaultDevice(const char* faults, const ScanRequest& request = {}) {
        useFaultBackend(faults);
        EXPECT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
        return scan(request);
    }
};

// A short silence deadline: the page lasts longer, or the window looks away longer.
class ScannerSilenceTest : public ScannerStressTest {
  protected:
    static constexpr std::chrono::milliseconds kSilence{1500};
    ScannerSilenceTest() : ScannerStressTest(withSilence()) {}
    static ScannerDeadlines withSilence() {
        ScannerDeadlines deadlines = patientDeadlines();
        deadlines.silentScan = kSilence;
        return deadlines;
    }
};

// A short finish deadline, far below the silence one.
class ScannerFinishTest : public ScannerStressTest {
  protected:
    ScannerFinishTest() : ScannerStressTest(withQuickFinish()) {}
    static ScannerDeadlines withQuickFinish() {
        ScannerDeadlines deadlines = patientDeadlines();
        deadlines.finish = std::chrono::milliseconds(500);
        return deadlines;
    }
};

TEST_F(ScannerStressTest, AnOptionListLargerThanASocketBufferArrivesWhole) {
    useFaultBackend("options=many");
    std::vector<SaneOptionInfo> options;
    std::optional<WorkerLoss> loss;
    QObject scope;
    QObject::connect(
        &client, &ScannerClient::deviceOpened, &scope,
        [&](DeviceStatus, const std::vector<SaneOptionInfo>& listed) { options = listed; });
    QObject::connect(&client, &ScannerClient::workerLost, &scope,
                     [&](WorkerLoss lost) { loss = lost; });
    client.openDevice("ornavexfault:0");
    ASSERT_TRUE(waitUntil([&] { return !options.empty() || loss; }, kBound));
    EXPECT_FALSE(loss);
    const auto many = std::find_if(options.begin(), options.end(), [](const SaneOptionInfo& o) {
        return o.name == "ornavex-many";
    });
    ASSERT_NE(many, options.end());
    EXPECT_EQ(many->strings.size(), 4000);
    EXPECT_EQ(many->strings.last(), "3999" + QString(100, 'x'));
}

// Progress keeps flowing while the window does not read: the worker must wait, not give up.
TEST_F(ScannerSilenceTest, AWindowBusyForSecondsWhileProgressFlowsGetsItsPage) {
    useFaultBackend("read=trickle:10000");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    Outcome outcome;
    bool ended = false;
    QObject scope;
    QObject::connect(&client, &ScannerClient::pageEnded, &scope,
                     [&](DeviceStatus status, const QImage& page) {
                         outcome.status = status;
                         outcome.page = page;
                     });
    QObject::connect(&client, &ScannerClient::scanEnded, &scope, [&] { ended = true; });
    QObject::connect(&client, &ScannerClient::workerLost, &scope,
                     [&](WorkerLoss loss) { outcome.loss = loss; });
    client.scan({});
    // Far more progress than a socket's buffer holds comes meanwhile.
    QThread::sleep(8);
    ASSERT_TRUE(waitUntil([&] { return ended || outcome.loss; }, kBound));
    EXPECT_FALSE(outcome.loss);
    EXPECT_EQ(outcome.status, DeviceStatus::Good);
    EXPECT_EQ(outcome.page.size(), QSize(200, 300));
}

// The page's end waits in the socket while the deadline passes: it still counts, whichever
// of the two gets its turn first.
TEST_F(ScannerSilenceTest, AReplyThatArrivedBeforeTheDeadlineIsNotThrownAway) {
    useFaultBackend("");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    const QPointer<QSocketNotifier> socketTurn = client.findChild<QSocketNotifier*>();
    ASSERT_TRUE(socketTurn);
    const Outcome outcome = run([&] {
        client.scan({});
        socketTurn->setEnabled(false);
        QThread::msleep(2 * kSilence.count());  // the whole page is sent meanwhile
    });
    EXPECT_FALSE(outcome.loss);
    EXPECT_EQ(outcome.status, DeviceStatus::Good);
    if (socketTurn) socketTurn->setEnabled(true);
}

TEST_F(ScannerSilenceTest, DataFlowingLongerThanTheSilenceDeadlineIsNoHang) {
    const Outcome outcome = scanFaultDevice("read=trickle:4500");
    EXPECT_FALSE(outcome.loss);
    EXPECT_EQ(outcome.status, DeviceStatus::Good);
}

// A cancel the driver never sees is given up after the finish deadline, not the silence one.
TEST_F(ScannerFinishTest, AbbrechenOfAHangingPageIsGivenUpAfterTheFinishDeadline) {
    useFaultBackend("read=hang-midway");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    const Outcome outcome = run([&] {
        client.scan({});
        waitUntil([&] { return !client.pageSoFar().isNull(); }, kBound);
        client.cancelScan();
    });
    EXPECT_EQ(outcome.loss, WorkerLoss::Hung);
}

// Nobody answers the login the page's start asks for; Abbrechen must still end the page.
TEST_F(ScannerFinishTest, AbbrechenWhileALoginIsAskedEndsThePage) {
    useFaultBackend("start=auth");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    bool asked = false;
    QObject scope;
    QObject::connect(&client, &ScannerClient::loginRequested, &scope, [&] { asked = true; });
    const Outcome outcome = run([&] {
        client.scan({});
        waitUntil([&] { return asked; }, kBound);
        client.cancelScan();
    });
    EXPECT_TRUE(asked);
    EXPECT_TRUE(outcome.answered || outcome.loss);
}

TEST_F(ScannerStressTest, AFrameLargerThanTheLargestPageIsRefusedBeforeAnyMemoryIsTaken) {
    const Outcome outcome = scanFaultDevice("parameters=huge");
    EXPECT_FALSE(outcome.loss);
    EXPECT_EQ(outcome.status, DeviceStatus::TooLarge);
}

// The open's deadline counts the time before the login question, not the time after it again.
class ScannerOpenLoginTest : public ScannerStressTest {
  protected:
    static constexpr std::chrono::milliseconds kOpen{6000};
    static constexpr int kAskedAfterMs = 4000;
    ScannerOpenLoginTest() : ScannerStressTest(withOpen()) {}
    static ScannerDeadlines withOpen() {
        ScannerDeadlines deadlines = patientDeadlines();
        deadlines.open = kOpen;
        return deadlines;
    }
};

TEST_F(ScannerOpenLoginTest, AnOpenThatHangsAfterALoginIsGivenUpAtItsDeadline) {
    useFaultBackend("open=auth-after:4000");
    QObject scope;
    QObject::connect(&client, &ScannerClient::loginRequested, &scope,
                     [this] { client.answerLogin("scan", "geheim"); });
    QElapsedTimer elapsed;
    elapsed.start();
    const Outcome outcome = run([&] { client.openDevice("ornavexfault:0"); });
    EXPECT_EQ(outcome.loss, WorkerLoss::Hung);
    // Started afresh by the answer, the deadline would end only after both together.
    EXPECT_LT(elapsed.elapsed(), kOpen.count() + kAskedAfterMs / 2);
}

struct FakeWorkerRow {
    const char* name;
    const char* mode;  // the fake worker's
    bool taken;
};

class ScannerFakeWorkerTest : public ScannerServiceTest,
                              public ::testing::WithParamInterface<FakeWorkerRow> {
  protected:
    ScannerFakeWorkerTest()
        : ScannerServiceTest(patientDeadlines(), {QStringLiteral(ORNAVEX_FAKE_WORKER),
                                                  {QString::fromLatin1(GetParam().mode)}}) {}
};

// Memory whose size can change would crash the window when shrunk; rows that can still
// be written are no finished page. Either way the worker is not to be trusted.
TEST_P(ScannerFakeWorkerTest, TakesOnlyWhatAWorkerKeepingTheRulesSends) {
    ASSERT_EQ(open("fake:0"), DeviceStatus::Good);
    const Outcome outcome = scan();
    if (GetParam().taken) {
        EXPECT_FALSE(outcome.loss);
        EXPECT_EQ(outcome.status, DeviceStatus::Good);
        EXPECT_EQ(outcome.page.size(), QSize(10, 10));
    } else {
        EXPECT_EQ(outcome.loss, WorkerLoss::Crashed);
        EXPECT_TRUE(outcome.page.isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ScannerFakeWorkerTest,
                         ::testing::Values(FakeWorkerRow{"Sealed", "sealed", true},
                                           FakeWorkerRow{"OpenToWrites", "writable", false},
                                           FakeWorkerRow{"SizeNotSealed", "unsealed", false},
                                           // A reply to an older request is not the answer.
                                           FakeWorkerRow{"StaleReplyFirst", "stale", true}),
                         test::byName);

// A worker let go while idle ends by itself a moment later, and must not stay a zombie.
TEST_F(ScannerServiceTest, AWorkerLetGoIsReapedWhenItEnds) {
    auto doomed = std::make_unique<ScannerClient>(testWorker(), quickDeadlines());
    bool opened = false;
    QObject::connect(doomed.get(), &ScannerClient::deviceOpened, [&] { opened = true; });
    doomed->openDevice("test:0");
    ASSERT_TRUE(waitUntil([&] { return opened; }, kBound));
    const pid_t worker = doomed->workerPid();
    ASSERT_GT(worker, 0);
    doomed.reset();
    // Gone from the process table once reaped; a zombie keeps its entry.
    const QString entry = QStringLiteral("/proc/%1").arg(worker);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(entry); }, kBound));
}

}  // namespace
}  // namespace ornavex
