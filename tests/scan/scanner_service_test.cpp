#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cctype>
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

// Everything one request or scan brought back.
struct Outcome {
    std::optional<DeviceStatus> pageStatus;
    QImage page;
    bool scanEnded = false;
    std::optional<WorkerLoss> loss;
    std::vector<int> progress;
};

class ScannerServiceTest : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevice(); }
    void TearDown() override { useTestDevice(); }

    DeviceStatus open(const QString& device) {
        std::optional<DeviceStatus> status;
        bool lost = false;
        QObject scope;
        QObject::connect(&client, &ScannerClient::deviceOpened, &scope,
                         [&](DeviceStatus s, const std::vector<SaneOptionInfo>& o) {
                             status = s;
                             options = o;
                         });
        QObject::connect(&client, &ScannerClient::workerLost, &scope, [&] { lost = true; });
        client.openDevice(device);
        EXPECT_TRUE(waitUntil([&] { return status || lost; }, kBound));
        return status.value_or(DeviceStatus::Failed);
    }

    Outcome scan(const ScanRequest& request, const std::function<void()>& duringScan = {}) {
        Outcome outcome;
        QObject scope;
        QObject::connect(&client, &ScannerClient::scanProgressed, &scope, [&](int permille, int) {
            outcome.progress.push_back(permille);
            if (duringScan && outcome.progress.size() == 1) duringScan();
        });
        QObject::connect(&client, &ScannerClient::pageEnded, &scope,
                         [&](DeviceStatus status, const QImage& page) {
                             outcome.pageStatus = status;
                             outcome.page = page;
                         });
        QObject::connect(&client, &ScannerClient::scanEnded, &scope,
                         [&] { outcome.scanEnded = true; });
        QObject::connect(&client, &ScannerClient::workerLost, &scope,
                         [&](WorkerLoss loss) { outcome.loss = loss; });
        client.scan(request);
        EXPECT_TRUE(waitUntil([&] { return outcome.scanEnded || outcome.loss; }, kBound));
        return outcome;
    }

    std::optional<WorkerLoss> lossDuring(const std::function<void()>& request) {
        std::optional<WorkerLoss> loss;
        QObject scope;
        QObject::connect(&client, &ScannerClient::workerLost, &scope,
                         [&](WorkerLoss l) { loss = l; });
        request();
        waitUntil([&] { return loss.has_value(); }, kBound);
        return loss;
    }

    const SaneOptionInfo* option(const QString& name) const {
        for (const SaneOptionInfo& o : options)
            if (o.name == name) return &o;
        return nullptr;
    }

    ScannerClient client{testWorker(), quickDeadlines()};
    std::vector<SaneOptionInfo> options;
};

// Bytes of a binary PNM once its header is complete; 0 while it is not.
qsizetype pnmSize(const QByteArray& data) {
    QList<int> numbers;  // width, height and (but for P4) the largest sample
    qsizetype at = 2;
    const int wanted = data.startsWith("P4") ? 2 : 3;
    while (numbers.size() < wanted) {
        while (at < data.size() && (std::isspace(data[at]) || data[at] == '#')) {
            if (data[at] == '#') at = data.indexOf('\n', at);
            if (at < 0) return 0;
            ++at;
        }
        const qsizetype start = at;
        while (at < data.size() && std::isdigit(data[at])) ++at;
        if (at >= data.size() || at == start) return 0;
        numbers << data.mid(start, at - start).toInt();
    }
    const qsizetype samples = data.startsWith("P6") ? 3 : 1;
    const qsizetype line =
        wanted == 2 ? (numbers[0] + 7) / 8 : numbers[0] * samples * (numbers[2] > 255 ? 2 : 1);
    return at + 1 + line * numbers[1];
}

// The same page as the command-line frontend delivers it, as the reference. The
// test device can hang in its own cancel after the page, so the page is taken
// as soon as it is complete.
QImage referencePage(const QStringList& options) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess scanimage;
        scanimage.start("scanimage", QStringList{"-d", "test:0", "--format=pnm"} + options);
        QByteArray page;
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            scanimage.waitForReadyRead(100);
            page += scanimage.readAllStandardOutput();
            const qsizetype size = pnmSize(page);
            if (size > 0 && page.size() >= size) break;
            if (scanimage.state() == QProcess::NotRunning && !scanimage.bytesAvailable()) break;
        }
        scanimage.kill();
        scanimage.waitForFinished(5000);
        const QImage image = QImage::fromData(page, "PNM");
        if (!image.isNull()) return image;
    }
    return {};
}

int largestDifference(const QImage& ours, const QImage& reference) {
    const QImage a = ours.convertToFormat(QImage::Format_RGB888);
    const QImage b = reference.convertToFormat(QImage::Format_RGB888);
    int largest = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int i = 0; i < 3 * std::min(a.width(), b.width()); ++i)
            largest = std::max(largest, std::abs(a.constScanLine(y)[i] - b.constScanLine(y)[i]));
    return largest;
}

struct PageRow {
    const char* name;
    QStringList options;  // as "name=value", also handed to scanimage as "--name value"
    QImage::Format format;
    int lostPixels = 0;
    bool lengthUnknown = false;  // a hand scanner cannot say how far the page is done
    QString widthMm = "210";
    QString heightMm = "297";
};

class ScannerPageTest : public ScannerServiceTest, public ::testing::WithParamInterface<PageRow> {};

TEST_P(ScannerPageTest, DeliversThePageTheReferenceFrontendGetsThroughSharedMemory) {
    const PageRow& row = GetParam();
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 50;
    request.width = row.widthMm.toDouble();
    request.height = row.heightMm.toDouble();
    request.otherOptions = QStringList{"test-picture=Color pattern"} + row.options;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.pageStatus, DeviceStatus::Good);
    EXPECT_TRUE(outcome.scanEnded);
    EXPECT_EQ(outcome.page.format(), row.format);
    EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(50 / 0.0254));
    if (row.lengthUnknown)
        EXPECT_EQ(outcome.progress, std::vector<int>(outcome.progress.size(), -1));
    else
        EXPECT_TRUE(!outcome.progress.empty() &&
                    std::is_sorted(outcome.progress.begin(), outcome.progress.end()) &&
                    outcome.progress.back() == 1000);

    QStringList reference = {"--resolution",   "50",           "-x",
                             row.widthMm,      "-y",           row.heightMm,
                             "--test-picture", "Color pattern"};
    // The frontend gets the picture itself; how it is delivered is ours to vary.
    for (const QString& assignment : row.options) {
        const QString name = assignment.section('=', 0, 0);
        if (name == "mode" || name == "depth" || name == "test-picture")
            reference << "--" + name << assignment.section('=', 1);
    }
    const QImage expected = referencePage(reference);
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(outcome.page.width(), expected.width() - row.lostPixels);
    EXPECT_EQ(outcome.page.height(), expected.height());
    EXPECT_LE(largestDifference(outcome.page, expected), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScannerPageTest,
    ::testing::Values(
        PageRow{"Colour", {"mode=Color"}, QImage::Format_RGB888},
        PageRow{"Gray", {"mode=Gray"}, QImage::Format_Grayscale8},
        PageRow{"Lineart", {"mode=Gray", "depth=1", "test-picture=Grid"}, QImage::Format_Mono},
        PageRow{"Colour16", {"mode=Color", "depth=16"}, QImage::Format_RGB888},
        PageRow{"ThreePass", {"mode=Color", "three-pass=true"}, QImage::Format_RGB888},
        PageRow{"HandScanner",
                {"mode=Color", "hand-scanner=true"},
                QImage::Format_RGB888,
                0,
                true,
                "110",
                "170"},
        PageRow{"OneByteReads",
                {"mode=Gray", "read-limit=true", "read-limit-size=1"},
                QImage::Format_Grayscale8},
        PageRow{"PaddedLines", {"mode=Color", "ppl-loss=7"}, QImage::Format_RGB888, 7}),
    test::byName);

struct StatusRow {
    const char* injected;
    DeviceStatus expected;
};

const StatusRow kStatusRows[] = {
    {"SANE_STATUS_NO_DOCS", DeviceStatus::NoDocuments},
    {"SANE_STATUS_JAMMED", DeviceStatus::Jammed},
    {"SANE_STATUS_COVER_OPEN", DeviceStatus::CoverOpen},
    {"SANE_STATUS_DEVICE_BUSY", DeviceStatus::Busy},
    {"SANE_STATUS_IO_ERROR", DeviceStatus::IoError},
    {"SANE_STATUS_NO_MEM", DeviceStatus::NoMemory},
    {"SANE_STATUS_ACCESS_DENIED", DeviceStatus::AccessDenied},
    {"SANE_STATUS_INVAL", DeviceStatus::Invalid},
    {"SANE_STATUS_UNSUPPORTED", DeviceStatus::Unsupported},
    {"SANE_STATUS_CANCELLED", DeviceStatus::Cancelled},
    {"SANE_STATUS_EOF", DeviceStatus::NoData},
};

// The test device's reader can deadlock inside its own cancel now and then; the
// status must arrive all the same, and a worker stuck after it is replaced.
TEST_F(ScannerServiceTest, TwoHundredInjectedStatusesEachArriveAndNothingHangs) {
    int replaced = 0;
    for (int round = 0; round < 200; ++round) {
        const StatusRow& row = kStatusRows[round % std::size(kStatusRows)];
        if (client.state() != ScannerClient::State::Ready) {
            ASSERT_EQ(open("test:0"), DeviceStatus::Good) << "round " << round;
        }
        ScanRequest request;
        request.dpi = 10;
        request.width = 50;
        request.height = 50;
        request.otherOptions = {QStringLiteral("read-return-value=%1").arg(row.injected)};
        const Outcome outcome = scan(request);
        ASSERT_EQ(outcome.pageStatus, row.expected) << "round " << round << " " << row.injected;
        EXPECT_TRUE(outcome.page.isNull());
        if (outcome.loss) {
            EXPECT_EQ(*outcome.loss, WorkerLoss::Hung);
            ++replaced;
        }
    }
    RecordProperty("workers_replaced", replaced);
}

TEST_F(ScannerServiceTest, CancelEndsASlowScanAndTheNextPageComes) {
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest slow;
    slow.dpi = 100;
    slow.otherOptions = {"read-delay=true", "read-delay-duration=200000", "read-limit=true",
                         "read-limit-size=4096"};
    const Outcome cancelled = scan(slow, [this] { client.cancelScan(); });
    EXPECT_EQ(cancelled.pageStatus, DeviceStatus::Cancelled);
    EXPECT_TRUE(cancelled.page.isNull());
    // The test device may deadlock in its own cancel: then a fresh worker takes over.
    if (cancelled.loss) {
        ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    }

    ScanRequest quick;
    quick.dpi = 10;
    quick.otherOptions = {"read-delay=false"};
    const Outcome next = scan(quick);
    EXPECT_EQ(next.pageStatus, DeviceStatus::Good);
    EXPECT_EQ(next.page.pixel(5, 5), qRgb(0, 0, 0));
}

struct FaultRow {
    const char* name;
    const char* faults;
    WorkerLoss loss;
    bool pageKept = false;  // the page had arrived in full before the fault
};

class ScannerFaultTest : public ScannerServiceTest,
                         public ::testing::WithParamInterface<FaultRow> {};

TEST_P(ScannerFaultTest, AHungOrCrashedDriverIsReplacedAndTheNextScanWorks) {
    const FaultRow& row = GetParam();
    useFaultBackend(row.faults);
    const QString call = QString::fromLatin1(row.faults).section('=', 0, 0);
    std::optional<WorkerLoss> loss;
    Outcome outcome;
    if (call == "get_devices") {
        loss = lossDuring([this] { client.searchDevices(); });
    } else if (call == "open" || call == "init") {
        loss = lossDuring([this] { client.openDevice("ornavexfault:0"); });
    } else {
        ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
        if (call == "close") {
            ASSERT_TRUE(scan({}).pageStatus == DeviceStatus::Good);
            loss = lossDuring([this] { client.closeDevice(); });
        } else {
            outcome = scan({});
            loss = outcome.loss;
        }
    }
    ASSERT_EQ(loss, row.loss);
    EXPECT_EQ(client.state(), ScannerClient::State::Stopped);
    if (row.pageKept) {
        EXPECT_EQ(outcome.pageStatus, DeviceStatus::Good);
        EXPECT_EQ(outcome.page.size(), QSize(200, 300));
        EXPECT_EQ(outcome.page.pixel(7, 5), qRgb(12, 12, 12));
    } else {
        EXPECT_NE(outcome.pageStatus, DeviceStatus::Good);
    }

    // A fresh worker takes the next request.
    useFaultBackend("");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    const Outcome next = scan({});
    EXPECT_EQ(next.pageStatus, DeviceStatus::Good);
    EXPECT_FALSE(next.loss);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScannerFaultTest,
    ::testing::Values(FaultRow{"SearchHangs", "get_devices=hang", WorkerLoss::Hung},
                      FaultRow{"SearchCrashes", "get_devices=crash", WorkerLoss::Crashed},
                      FaultRow{"OpenHangs", "open=hang", WorkerLoss::Hung},
                      FaultRow{"InitCrashes", "init=crash", WorkerLoss::Crashed},
                      FaultRow{"StartHangs", "start=hang", WorkerLoss::Hung},
                      FaultRow{"ReadHangsMidway", "read=hang-midway", WorkerLoss::Hung},
                      FaultRow{"ReadCrashesMidway", "read=crash-midway", WorkerLoss::Crashed},
                      FaultRow{"CancelHangsAfterThePage", "cancel=hang", WorkerLoss::Hung, true},
                      FaultRow{"CancelCrashesAfterThePage", "cancel=crash", WorkerLoss::Crashed,
                               true},
                      FaultRow{"CloseHangs", "close=hang", WorkerLoss::Hung}),
    test::byName);

TEST_F(ScannerServiceTest, PixelGeometryAndAnUnreadableResolutionStillGiveTheRightPage) {
    useFaultBackend("resolution=unreadable");
    ASSERT_EQ(open("ornavexfault:0"), DeviceStatus::Good);
    ASSERT_NE(option("br-x"), nullptr);
    EXPECT_EQ(option("br-x")->unit, SaneUnit::Pixel);
    ScanRequest request;
    request.mode = "Color";
    request.dpi = 150;
    request.width = 50;
    request.height = 40;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.pageStatus, DeviceStatus::Good);
    EXPECT_EQ(outcome.page.size(), QSize(50, 40));
    EXPECT_EQ(outcome.page.pixel(20, 30), qRgb(20, 30, 128));
    // Not a silent 96 dpi: the resolution asked for, since the device can't tell.
    EXPECT_EQ(outcome.page.dotsPerMeterX(), std::lround(150 / 0.0254));
}

TEST_F(ScannerServiceTest, TheDemoDeviceOfTheRunCommandScansAColourA4Page) {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config/with-system-scanners");
    ASSERT_EQ(open("test:0"), DeviceStatus::Good);
    ScanRequest request;
    request.dpi = 50;
    const Outcome outcome = scan(request);
    ASSERT_EQ(outcome.pageStatus, DeviceStatus::Good);
    EXPECT_EQ(outcome.page.format(), QImage::Format_RGB888);
    EXPECT_FALSE(outcome.page.allGray());
    EXPECT_EQ(outcome.page.size(), QSize(413, 584));  // 210 x 297 mm
}

TEST_F(ScannerServiceTest, ANetworkScannerGetsTheLoginTheWindowAskedFor) {
    useFaultBackend("open=auth");
    for (const auto& [user, password, expected] :
         {std::tuple{"scan", "falsch", DeviceStatus::AccessDenied},
          std::tuple{"scan", "geheim", DeviceStatus::Good}}) {
        QString resource;
        QObject scope;
        QObject::connect(&client, &ScannerClient::loginRequested, &scope,
                         [&, user = user, password = password](const QString& asked) {
                             resource = asked;
                             client.answerLogin(user, password);
                         });
        EXPECT_EQ(open("ornavexfault:0"), expected);
        EXPECT_EQ(resource, "ornavexfault:0");
    }
}

// Dead means gone or a zombie: nobody reaps a worker whose client is gone.
bool processDead(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end < 0 || line.mid(end + 2, 1) == "Z";
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
    EXPECT_TRUE(waitUntil([worker] { return processDead(worker); }, 5000));
}

}  // namespace
}  // namespace ornavex
