#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <thread>

#include "platform/sane_device.h"
#include "platform/sane_session.h"

namespace ornavex {
namespace {

constexpr int kDpi = 50;

int dotsPerMetre(int dpi) {
    return static_cast<int>(std::lround(dpi / 0.0254));
}

struct PageSetup {
    QString mode = "Color";
    int depth = 8;
    QString picture = "Color pattern";
    int dpi = kDpi;
    double widthMm = 210;
    double heightMm = 297;
};

// The same page as the command-line frontend delivers it, as the reference.
QImage referencePage(const PageSetup& setup) {
    QProcess scanimage;
    scanimage.start("scanimage",
                    {"-d", "test:0", "--format=pnm", "--mode", setup.mode, "--depth",
                     QString::number(setup.depth), "--test-picture", setup.picture, "--resolution",
                     QString::number(setup.dpi), "-x", QString::number(setup.widthMm), "-y",
                     QString::number(setup.heightMm)});
    if (!scanimage.waitForFinished(60000)) return {};
    return QImage::fromData(scanimage.readAllStandardOutput(), "PNM");
}

void apply(SaneDevice& device, const PageSetup& setup) {
    EXPECT_EQ(device.setText("mode", setup.mode).status, DeviceStatus::Good);
    EXPECT_EQ(device.setNumber("depth", setup.depth).status, DeviceStatus::Good);
    EXPECT_EQ(device.setText("test-picture", setup.picture).status, DeviceStatus::Good);
    EXPECT_EQ(device.setNumber("resolution", setup.dpi).status, DeviceStatus::Good);
    EXPECT_EQ(device.setNumber("br-x", setup.widthMm).status, DeviceStatus::Good);
    EXPECT_EQ(device.setNumber("br-y", setup.heightMm).status, DeviceStatus::Good);
}

// Largest difference of any sample over the area both pictures cover.
int largestDifference(const QImage& ours, const QImage& reference) {
    const QImage a = ours.convertToFormat(QImage::Format_RGB888);
    const QImage b = reference.convertToFormat(QImage::Format_RGB888);
    const int width = std::min(a.width(), b.width());
    const int height = std::min(a.height(), b.height());
    int largest = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* rowA = a.constScanLine(y);
        const uchar* rowB = b.constScanLine(y);
        for (int i = 0; i < 3 * width; ++i)
            largest = std::max(largest, std::abs(rowA[i] - rowB[i]));
    }
    return largest;
}

// The repository's device setup (A4-sized test device), also when run by hand.
void useRepositorySaneConfig() {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
}

class SaneDeviceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { useRepositorySaneConfig(); }

    void SetUp() override {
        ASSERT_TRUE(session.isInitialised());
        SaneSession::Opened opened = session.open("test:0");
        ASSERT_EQ(opened.status, DeviceStatus::Good);
        device = std::move(opened.device);
    }

    ScanResult scan(std::vector<int>* progress = nullptr) {
        const std::atomic<bool> cancel = false;
        return device->scanPage(
            [progress](int permille) {
                if (progress) progress->push_back(permille);
            },
            cancel);
    }

    SaneSession session;
    std::unique_ptr<SaneDevice> device;
};

TEST_F(SaneDeviceTest, ListsNoDeviceWhileOneIsOpen) {
    EXPECT_EQ(session.listDevices().status, DeviceStatus::Busy);
    device.reset();
    const SaneDeviceList list = session.listDevices();
    ASSERT_EQ(list.status, DeviceStatus::Good);
    QStringList names;
    for (const SaneDeviceInfo& info : list.devices) {
        names << info.name;
        if (info.name.startsWith("test:")) {
            EXPECT_EQ(info.vendor, "Noname");
            EXPECT_EQ(info.model, "frontend-tester");
            EXPECT_EQ(info.type, "virtual device");
        }
    }
    EXPECT_TRUE(names.contains("test:0") && names.contains("test:1"))
        << names.join(",").toStdString();
}

struct ConstraintRow {
    const char* option;
    double asked;
    double expected;
};

void PrintTo(const ConstraintRow& row, std::ostream* os) {
    *os << row.option << " " << row.asked << " -> " << row.expected;
}

class SaneOptionConstraintTest : public SaneDeviceTest,
                                 public ::testing::WithParamInterface<ConstraintRow> {};

TEST_P(SaneOptionConstraintTest, SetsTheNearestValueTheDeviceAccepts) {
    const ConstraintRow row = GetParam();
    EXPECT_EQ(device->setNumber(row.option, row.asked).status, DeviceStatus::Good);
    ASSERT_TRUE(device->number(row.option).has_value());
    EXPECT_DOUBLE_EQ(*device->number(row.option), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, SaneOptionConstraintTest,
                         ::testing::Values(ConstraintRow{"depth", 10, 8},            // word list
                                           ConstraintRow{"depth", 13, 16},           // word list
                                           ConstraintRow{"resolution", 150.4, 150},  // step 1
                                           ConstraintRow{"resolution", 5000, 1200},  // range top
                                           ConstraintRow{"br-x", 400, 297},          // fixed range
                                           ConstraintRow{"tl-y", -3, 0}),
                         [](const auto& info) {
                             std::string name = info.param.option;
                             std::erase(name, '-');
                             return name + "_" + std::to_string(info.index);
                         });

TEST_F(SaneDeviceTest, ReloadsOptionsTheDeviceChangesWithTheMode) {
    EXPECT_FALSE(device->isActive("three-pass"));
    const OptionResult result = device->setText("mode", "color");  // any case of a listed string
    EXPECT_EQ(result.status, DeviceStatus::Good);
    EXPECT_TRUE(result.reloaded);
    EXPECT_TRUE(device->isActive("three-pass"));
    EXPECT_EQ(device->text("mode").value_or(""), "Color");
    EXPECT_EQ(device->setText("mode", "Sepia").status, DeviceStatus::Invalid);
}

struct PageRow {
    const char* name;
    PageSetup setup;
    std::vector<std::pair<const char*, QVariant>> quirks;  // options only our scan gets
    QImage::Format format;
    int lostPixels = 0;
};

void PrintTo(const PageRow& row, std::ostream* os) {
    *os << row.name;
}

class SanePageTest : public SaneDeviceTest, public ::testing::WithParamInterface<PageRow> {};

TEST_P(SanePageTest, DeliversThePageTheReferenceFrontendGets) {
    const PageRow& row = GetParam();
    apply(*device, row.setup);
    for (const auto& [name, value] : row.quirks) {
        const OptionResult set =
            value.typeId() == QMetaType::Bool      ? device->setBool(name, value.toBool())
            : value.typeId() == QMetaType::QString ? device->setText(name, value.toString())
                                                   : device->setNumber(name, value.toDouble());
        ASSERT_EQ(set.status, DeviceStatus::Good) << name;
    }
    const ScanResult result = scan();
    ASSERT_EQ(result.status, DeviceStatus::Good);
    EXPECT_EQ(result.page.format(), row.format);
    EXPECT_EQ(result.page.dotsPerMeterX(), dotsPerMetre(row.setup.dpi));
    EXPECT_EQ(result.page.dotsPerMeterY(), dotsPerMetre(row.setup.dpi));
    EXPECT_EQ(device->cancelCount(), 1);

    const QImage reference = referencePage(row.setup);
    ASSERT_FALSE(reference.isNull());
    EXPECT_EQ(result.page.width(), reference.width() - row.lostPixels);
    EXPECT_EQ(result.page.height(), reference.height());
    EXPECT_LE(largestDifference(result.page, reference), 1);
}

const PageSetup kColour{};
const PageSetup kGray{"Gray", 8, "Color pattern"};
const PageSetup kLineart{"Gray", 1, "Grid"};
const PageSetup kGray16{"Gray", 16, "Color pattern"};
const PageSetup kColour16{"Color", 16, "Color pattern"};
const PageSetup kHandScanner{"Color", 8, "Color pattern", kDpi, 110, 170};

INSTANTIATE_TEST_SUITE_P(
    Rows, SanePageTest,
    ::testing::Values(
        PageRow{"Colour", kColour, {}, QImage::Format_RGB888},
        PageRow{"Gray", kGray, {}, QImage::Format_Grayscale8},
        PageRow{"Lineart", kLineart, {}, QImage::Format_Mono},
        PageRow{"Gray16", kGray16, {}, QImage::Format_Grayscale8},
        PageRow{"Colour16", kColour16, {}, QImage::Format_RGB888},
        PageRow{"ThreePass", kColour, {{"three-pass", true}}, QImage::Format_RGB888},
        PageRow{"ThreePassOtherOrder",
                kColour,
                {{"three-pass", true}, {"three-pass-order", QString("GBR")}},
                QImage::Format_RGB888},
        PageRow{"HandScanner", kHandScanner, {{"hand-scanner", true}}, QImage::Format_RGB888},
        PageRow{"OneByteReads",
                kGray,
                {{"read-limit", true}, {"read-limit-size", 1}},
                QImage::Format_Grayscale8},
        PageRow{"OddReads",
                kColour,
                {{"read-limit", true}, {"read-limit-size", 1000}},
                QImage::Format_RGB888},
        PageRow{"PaddedLines", kColour, {{"ppl-loss", 7}}, QImage::Format_RGB888, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaneDeviceTest, ReportsProgressOverAllThreeFrames) {
    apply(*device, kColour);
    ASSERT_EQ(device->setBool("three-pass", true).status, DeviceStatus::Good);
    std::vector<int> progress;
    ASSERT_EQ(scan(&progress).status, DeviceStatus::Good);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1000);
    EXPECT_TRUE(
        std::any_of(progress.begin(), progress.end(), [](int p) { return p > 300 && p < 400; }));
}

TEST_F(SaneDeviceTest, ReportsUnknownProgressForAHandScanner) {
    apply(*device, kHandScanner);
    ASSERT_EQ(device->setBool("hand-scanner", true).status, DeviceStatus::Good);
    std::vector<int> progress;
    ASSERT_EQ(scan(&progress).status, DeviceStatus::Good);
    EXPECT_EQ(progress, std::vector<int>{-1});
}

TEST_F(SaneDeviceTest, FeederRunsEmptyAfterTenPages) {
    apply(*device, {"Gray", 8, "Solid white", 10, 50, 50});
    ASSERT_EQ(device->setText("source", "Automatic Document Feeder").status, DeviceStatus::Good);
    for (int page = 1; page <= 10; ++page) {
        const ScanResult result = scan();
        ASSERT_EQ(result.status, DeviceStatus::Good) << "page " << page;
        EXPECT_EQ(result.page.pixel(0, 0), qRgb(255, 255, 255));
    }
    const ScanResult empty = scan();
    EXPECT_EQ(empty.status, DeviceStatus::NoDocuments);
    EXPECT_TRUE(empty.page.isNull());
    EXPECT_EQ(device->cancelCount(), 11);
}

struct StatusRow {
    const char* injected;
    DeviceStatus expected;
};

void PrintTo(const StatusRow& row, std::ostream* os) {
    *os << row.injected;
}

class SaneStatusTest : public SaneDeviceTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(SaneStatusTest, TranslatesWhatTheDeviceReports) {
    apply(*device, {"Gray", 8, "Solid black", 10, 50, 50});
    ASSERT_EQ(device->setText("read-return-value", GetParam().injected).status, DeviceStatus::Good);
    const ScanResult result = scan();
    EXPECT_EQ(result.status, GetParam().expected);
    EXPECT_TRUE(result.page.isNull());
    EXPECT_EQ(device->cancelCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SaneStatusTest,
    ::testing::Values(StatusRow{"SANE_STATUS_NO_DOCS", DeviceStatus::NoDocuments},
                      StatusRow{"SANE_STATUS_JAMMED", DeviceStatus::Jammed},
                      StatusRow{"SANE_STATUS_COVER_OPEN", DeviceStatus::CoverOpen},
                      StatusRow{"SANE_STATUS_DEVICE_BUSY", DeviceStatus::Busy},
                      StatusRow{"SANE_STATUS_IO_ERROR", DeviceStatus::IoError},
                      StatusRow{"SANE_STATUS_NO_MEM", DeviceStatus::NoMemory},
                      StatusRow{"SANE_STATUS_ACCESS_DENIED", DeviceStatus::AccessDenied},
                      StatusRow{"SANE_STATUS_INVAL", DeviceStatus::Invalid},
                      StatusRow{"SANE_STATUS_UNSUPPORTED", DeviceStatus::Unsupported},
                      StatusRow{"SANE_STATUS_CANCELLED", DeviceStatus::Cancelled},
                      StatusRow{"SANE_STATUS_EOF", DeviceStatus::NoData}),
    [](const auto& info) { return std::string(info.param.injected).substr(12); });

TEST_F(SaneDeviceTest, CancelFromAnotherThreadEndsASlowScanAtOnce) {
    apply(*device, {"Gray", 8, "Solid black", 100, 210, 297});
    ASSERT_EQ(device->setBool("read-delay", true).status, DeviceStatus::Good);
    ASSERT_EQ(device->setNumber("read-delay-duration", 200000).status, DeviceStatus::Good);
    ASSERT_EQ(device->setBool("read-limit", true).status, DeviceStatus::Good);
    ASSERT_EQ(device->setNumber("read-limit-size", 4096).status, DeviceStatus::Good);
    std::atomic<bool> cancel = false;
    std::vector<int> progress;
    const auto started = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        cancel = true;
        device->cancelScan();
    });
    const ScanResult result = device->scanPage([&](int p) { progress.push_back(p); }, cancel);
    canceller.join();
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result.status, DeviceStatus::Cancelled);
    EXPECT_TRUE(result.page.isNull());
    EXPECT_EQ(device->cancelCount(), 1);
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.back(), 1000);

    // The device stays usable for the next page.
    ASSERT_EQ(device->setBool("read-delay", false).status, DeviceStatus::Good);
    cancel = false;
    const ScanResult next = scan();
    EXPECT_EQ(next.status, DeviceStatus::Good);
    EXPECT_EQ(next.page.pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_EQ(device->cancelCount(), 2);
}

}  // namespace
}  // namespace ornavex
