#include <gtest/gtest.h>
#include <sane/sane.h>

#include <QByteArray>

#include <cstring>
#include <string>
#include <vector>

namespace ornavex {
namespace {

// The backend's patterns and its hangs and crashes are seen through the scanner
// worker in tests/scan; here only what the worker's tests take for granted.
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
