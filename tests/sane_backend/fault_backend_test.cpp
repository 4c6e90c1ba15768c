#include <gtest/gtest.h>
#include <sane/sane.h>

#include <QImage>
#include <QProcess>
#include <QRect>
#include <csignal>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace ornavex {
namespace {

// scanimage with the fault backend's folders; killed by QProcess's destructor if it still runs.
std::unique_ptr<QProcess> scanimage(const QStringList& arguments, const QString& faults = {}) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
    environment.insert("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
    environment.insert("ORNAVEX_FAULT", faults);
    process->setProcessEnvironment(environment);
    process->start("scanimage", arguments);
    return process;
}

TEST(FaultBackendTest, DllListsTheFaultDeviceBesideTheTestDevice) {
    const auto process = scanimage({"-L"});
    ASSERT_TRUE(process->waitForFinished(30000));
    const QString listing = QString::fromUtf8(process->readAllStandardOutput());
    EXPECT_TRUE(listing.contains("`ornavexfault:0' is a Ornavex Störgerät flatbed scanner"))
        << listing.toStdString();
    EXPECT_TRUE(listing.contains("`test:0'")) << listing.toStdString();
}

struct PageRow {
    const char* name;
    QStringList options;
    bool color;
    QRect area;  // in device pixels
};

void PrintTo(const PageRow& row, std::ostream* os) {
    *os << row.name;
}

class FaultBackendPageTest : public ::testing::TestWithParam<PageRow> {};

TEST_P(FaultBackendPageTest, DeliversTheSelectedAreaOfThePattern) {
    const PageRow& row = GetParam();
    const auto process =
        scanimage(QStringList{"-d", "ornavexfault:0", "--format=pnm"} + row.options);
    ASSERT_TRUE(process->waitForFinished(30000));
    ASSERT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    const QImage page = QImage::fromData(process->readAllStandardOutput(), "PNM");
    ASSERT_EQ(page.size(), row.area.size());
    EXPECT_EQ(page.isGrayscale(), !row.color);
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const int deviceX = row.area.left() + x, deviceY = row.area.top() + y;
            const int gray = (deviceX + deviceY) % 256;
            const QRgb expected =
                row.color ? qRgb(deviceX % 256, deviceY % 256, 128) : qRgb(gray, gray, gray);
            ASSERT_EQ(page.pixel(x, y), expected) << x << "," << y;
        }
    }
}

const QStringList kColorCropped = {"--mode", "Color", "-l", "10", "-t",
                                   "20",     "-x",    "50", "-y", "40"};

INSTANTIATE_TEST_SUITE_P(
    Pages, FaultBackendPageTest,
    ::testing::Values(PageRow{"GrayWholeBed", {}, false, {0, 0, 200, 300}},
                      PageRow{"ColorCropped", kColorCropped, true, {10, 20, 50, 40}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultRow {
    const char* name;
    QString faults;
    QStringList arguments;
    bool hangs;  // otherwise it dies by SIGSEGV
};

void PrintTo(const FaultRow& row, std::ostream* os) {
    *os << row.faults.toStdString();
}

class FaultBackendFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultBackendFaultTest, HangsOrCrashesTheFrontend) {
    const FaultRow& row = GetParam();
    const auto process = scanimage(row.arguments, row.faults);
    if (row.hangs) {
        EXPECT_FALSE(process->waitForFinished(2000));
        process->kill();
        EXPECT_TRUE(process->waitForFinished(30000));
        return;
    }
    ASSERT_TRUE(process->waitForFinished(30000));
    EXPECT_EQ(process->exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(process->exitCode(), SIGSEGV);
}

const QStringList kScanToPnm = {"-d", "ornavexfault:0", "--format=pnm"};

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultBackendFaultTest,
    ::testing::Values(FaultRow{"ReadCrash", "read=crash", kScanToPnm, false},
                      FaultRow{"ReadCrashMidway", "read=crash-midway", kScanToPnm, false},
                      FaultRow{"CancelHang", "cancel=hang", kScanToPnm, true},
                      FaultRow{"GetDevicesHang", "get_devices=hang", {"-L"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// In process, through SANE's dll, for what scanimage cannot show.
class FaultBackendSessionTest : public ::testing::Test {
  protected:
    static void answer(SANE_String_Const resource, SANE_Char* user, SANE_Char* password) {
        askedFor = resource;
        std::strcpy(user, "scan");
        std::strcpy(password, givenPassword);
    }

    SANE_Status open(const char* faults) {
        qputenv("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
        qputenv("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
        qputenv("ORNAVEX_FAULT", faults);
        EXPECT_EQ(sane_init(nullptr, answer), SANE_STATUS_GOOD);
        return sane_open("ornavexfault:0", &handle);
    }

    void TearDown() override {
        if (handle) sane_close(handle);
        sane_exit();
    }

    SANE_Status read(std::vector<SANE_Byte>& into) {
        SANE_Int length = 0;
        into.resize(4096);
        const SANE_Status status = sane_read(handle, into.data(), 4096, &length);
        into.resize(length);
        return status;
    }

    inline static std::string askedFor;
    inline static const char* givenPassword = "geheim";
    SANE_Handle handle = nullptr;
};

TEST_F(FaultBackendSessionTest, OpenAsksForTheDeviceAndTakesOnlyTheRightPassword) {
    givenPassword = "falsch";
    EXPECT_EQ(open("open=auth"), SANE_STATUS_ACCESS_DENIED);
    EXPECT_EQ(askedFor, "ornavexfault:0");
    givenPassword = "geheim";
    EXPECT_EQ(sane_open("ornavexfault:0", &handle), SANE_STATUS_GOOD);
}

constexpr SANE_Int kResolution = 3;  // after the option count, the group and the mode

TEST_F(FaultBackendSessionTest, UnreadableResolutionStillTakesAValueAndRoundsIntoRange) {
    ASSERT_EQ(open("resolution=unreadable"), SANE_STATUS_GOOD);
    SANE_Int resolution = 0, info = 0;
    EXPECT_EQ(sane_control_option(handle, kResolution, SANE_ACTION_GET_VALUE, &resolution, nullptr),
              SANE_STATUS_INVAL);
    resolution = 900;
    EXPECT_EQ(sane_control_option(handle, kResolution, SANE_ACTION_SET_VALUE, &resolution, &info),
              SANE_STATUS_GOOD);
    EXPECT_EQ(resolution, 600);
    EXPECT_TRUE(info & SANE_INFO_INEXACT);
    EXPECT_EQ(sane_control_option(handle, 42, SANE_ACTION_SET_VALUE, &resolution, &info),
              SANE_STATUS_INVAL);
}

TEST_F(FaultBackendSessionTest, CancelDuringASlowPageEndsItAndTheNextStartBeginsAfresh) {
    ASSERT_EQ(open("read=slow"), SANE_STATUS_GOOD);
    std::vector<SANE_Byte> chunk;
    ASSERT_EQ(sane_start(handle), SANE_STATUS_GOOD);
    ASSERT_EQ(read(chunk), SANE_STATUS_GOOD);
    sane_cancel(handle);
    EXPECT_EQ(read(chunk), SANE_STATUS_CANCELLED);
    EXPECT_TRUE(chunk.empty());

    ASSERT_EQ(sane_start(handle), SANE_STATUS_GOOD);
    size_t bytes = 0;
    SANE_Status status;
    while ((status = read(chunk)) == SANE_STATUS_GOOD) bytes += chunk.size();
    EXPECT_EQ(status, SANE_STATUS_EOF);
    EXPECT_EQ(bytes, 200u * 300u);
    sane_cancel(handle);
}

}  // namespace
}  // namespace ornavex
