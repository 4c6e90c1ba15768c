#include <gtest/gtest.h>

#include <QProcess>
#include <QVariant>
#include <chrono>
#include <thread>

#include "platform/sane_device.h"
#include "platform/sane_session.h"

namespace ornavex {
namespace {

using Options = std::vector<std::pair<const char*, QVariant>>;

struct PageSetup {
    QString mode = "Color";
    int depth = 8;
    QString picture = "Color pattern";
    int dpi = 50;
    double widthMm = 210;
    double heightMm = 297;
};

// The same page as the command-line frontend delivers it, as the reference.
QImage referencePage(const PageSetup& s) {
    QProcess scanimage;
    scanimage.start("scanimage", {"-d", "test:0", "--format=pnm", "--mode", s.mode, "--depth",
                                  QString::number(s.depth), "--test-picture", s.picture,
                                  "--resolution", QString::number(s.dpi), "-x",
                                  QString::number(s.widthMm), "-y", QString::number(s.heightMm)});
    if (!scanimage.waitForFinished(60000)) return {};
    return QImage::fromData(scanimage.readAllStandardOutput(), "PNM");
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

class SaneDeviceTest : public ::testing::Test {
  protected:
    // The repository's A4-sized test device, also when run by hand.
    static void SetUpTestSuite() {
        qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
    }

    void SetUp() override {
        SaneSession::Opened opened = session.open("test:0");
        ASSERT_EQ(opened.status, DeviceStatus::Good);
        device = std::move(opened.device);
    }

    void set(const PageSetup& s, const Options& extra = {}) {
        Options all = {{"mode", s.mode},      {"depth", s.depth},  {"test-picture", s.picture},
                       {"resolution", s.dpi}, {"br-x", s.widthMm}, {"br-y", s.heightMm}};
        all.insert(all.end(), extra.begin(), extra.end());
        for (const auto& [name, value] : all) {
            const OptionResult result =
                value.typeId() == QMetaType::Bool      ? device->setBool(name, value.toBool())
                : value.typeId() == QMetaType::QString ? device->setText(name, value.toString())
                                                       : device->setNumber(name, value.toDouble());
            ASSERT_EQ(result.status, DeviceStatus::Good) << name;
        }
    }

    ScanResult scan(std::vector<int>* progress = nullptr) {
        const std::atomic<bool> cancel = false;
        return device->scanPage([progress](int p) { progress ? progress->push_back(p) : void(); },
                                cancel);
    }

    SaneSession session;
    std::unique_ptr<SaneDevice> device;
};

struct PageRow {
    const char* name;
    PageSetup setup;
    Options extra;
    QImage::Format format;
    int lostPixels = 0;
    bool lengthUnknown = false;  // a hand scanner cannot say how far the page is done
};

void PrintTo(const PageRow& row, std::ostream* os) {
    *os << row.name;
}

class SanePageTest : public SaneDeviceTest, public ::testing::WithParamInterface<PageRow> {};

TEST_P(SanePageTest, DeliversThePageTheReferenceFrontendGets) {
    const PageRow& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(set(row.setup, row.extra));
    std::vector<int> progress;
    const ScanResult result = scan(&progress);
    ASSERT_EQ(result.status, DeviceStatus::Good);
    EXPECT_EQ(result.page.format(), row.format);
    EXPECT_EQ(result.page.dotsPerMeterX(), std::lround(row.setup.dpi / 0.0254));
    EXPECT_EQ(result.page.dotsPerMeterY(), std::lround(row.setup.dpi / 0.0254));
    EXPECT_EQ(device->cancelCount(), 1);
    if (row.lengthUnknown)
        EXPECT_EQ(progress, std::vector<int>{-1});
    else
        EXPECT_TRUE(!progress.empty() && std::is_sorted(progress.begin(), progress.end()) &&
                    progress.back() == 1000);

    const QImage reference = referencePage(row.setup);
    ASSERT_FALSE(reference.isNull());
    EXPECT_EQ(result.page.width(), reference.width() - row.lostPixels);
    EXPECT_EQ(result.page.height(), reference.height());
    EXPECT_LE(largestDifference(result.page, reference), 1);
}

const PageSetup kColour{};
const PageSetup kGray{"Gray", 8};

INSTANTIATE_TEST_SUITE_P(
    Rows, SanePageTest,
    ::testing::Values(PageRow{"Colour", kColour, {}, QImage::Format_RGB888},
                      PageRow{"Gray", kGray, {}, QImage::Format_Grayscale8},
                      PageRow{"Lineart", {"Gray", 1, "Grid"}, {}, QImage::Format_Mono},
                      PageRow{"Gray16", {"Gray", 16}, {}, QImage::Format_Grayscale8},
                      PageRow{"Colour16", {"Color", 16}, {}, QImage::Format_RGB888},
                      PageRow{"ThreePass", kColour, {{"three-pass", true}}, QImage::Format_RGB888},
                      PageRow{"HandScanner",
                              {"Color", 8, "Color pattern", 50, 110, 170},
                              {{"hand-scanner", true}},
                              QImage::Format_RGB888,
                              0,
                              true},
                      PageRow{"OneByteReads",
                              kGray,
                              {{"read-limit", true}, {"read-limit-size", 1}},
                              QImage::Format_Grayscale8},
                      PageRow{"PaddedLines", kColour, {{"ppl-loss", 7}}, QImage::Format_RGB888, 7}),
    [](const auto& info) { return std::string(info.param.name); });

struct StatusRow {
    const char* injected;
    DeviceStatus expected;
};

void PrintTo(const StatusRow& row, std::ostream* os) {
    *os << row.injected;
}

class SaneStatusTest : public SaneDeviceTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(SaneStatusTest, TranslatesWhatTheDeviceReports) {
    set({"Gray", 8, "Solid black", 10, 50, 50}, {{"read-return-value", GetParam().injected}});
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
    set({"Gray", 8, "Solid black", 100}, {{"read-delay", true},
                                          {"read-delay-duration", 200000},
                                          {"read-limit", true},
                                          {"read-limit-size", 4096}});
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
    EXPECT_EQ(result.status, DeviceStatus::Cancelled);
    EXPECT_TRUE(result.page.isNull());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.back(), 1000);

    // The device stays usable for the next page.
    ASSERT_EQ(device->setBool("read-delay", false).status, DeviceStatus::Good);
    const ScanResult next = scan();
    EXPECT_EQ(next.status, DeviceStatus::Good);
    EXPECT_EQ(next.page.pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_EQ(device->cancelCount(), 2);
}

}  // namespace
}  // namespace ornavex
