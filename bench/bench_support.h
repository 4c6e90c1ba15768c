#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "scan/scanner_client.h"

namespace ornavex::bench {

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

template <typename Run>
double secondsOf(Run run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Headless unless told otherwise, with the repository's SANE test device.
inline void useBenchEnvironment(const char* saneConfig = ORNAVEX_SOURCE_DIR "/scan/sane-config") {
    qputenv("SANE_CONFIG_DIR", saneConfig);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The program's own worker mode, as the window starts it.
inline WorkerCommand benchWorker() {
    return {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--scanner-worker")}};
}

// Runs the event loop until the condition holds; false after a minute.
inline bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The answer an ask hands its handler, the event loop running meanwhile; ifNone after a minute.
template <typename Result, typename Ask>
Result answerOf(const Ask& ask, Result ifNone) {
    std::optional<Result> answer;
    ask([&answer](Result result) { answer = std::move(result); });
    if (!waitFor([&] { return answer.has_value(); })) return ifNone;
    return *answer;
}

// An A4 page at 300 dpi in colour from the test device, the page the scan
// benchmarks measure.
inline ScanRequest a4ColourRequest() {
    ScanRequest request;
    request.mode = QStringLiteral("Color");
    request.dpi = 300;
    request.width = 210;
    request.height = 297;
    request.otherOptions = {QStringLiteral("test-picture=Color pattern")};
    return request;
}

inline bool openTestDevice(ScannerClient& client) {
    std::optional<DeviceStatus> status;
    QObject scope;
    QObject::connect(&client, &ScannerClient::deviceOpened, &scope,
                     [&](DeviceStatus s, const auto&) { status = s; });
    client.openDevice(QStringLiteral("test:0"));
    if (!waitFor([&] { return status.has_value(); }) || *status != DeviceStatus::Good) {
        std::fprintf(stderr, "test device not available\n");
        return false;
    }
    return true;
}

// One page through the worker; null when it failed.
inline QImage scanPage(ScannerClient& client, const ScanRequest& request) {
    QImage page;
    bool ended = false;
    QObject scope;
    QObject::connect(&client, &ScannerClient::pageEnded, &scope,
                     [&](DeviceStatus status, const QImage& p) {
                         page = p;
                         if (status != DeviceStatus::Good)
                             std::fprintf(stderr, "scan status %d\n", static_cast<int>(status));
                     });
    QObject::connect(&client, &ScannerClient::scanEnded, &scope, [&] { ended = true; });
    QObject::connect(&client, &ScannerClient::workerLost, &scope, [&] { ended = true; });
    client.scan(request);
    waitFor([&] { return ended; });
    return page;
}

// Proportional set size: shared pages count once across the processes that map them.
inline double pssKilobytes(long pid) {
    QFile rollup(pid > 0 ? QStringLiteral("/proc/%1/smaps_rollup").arg(pid)
                         : QStringLiteral("/proc/self/smaps_rollup"));
    if (!rollup.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:")) return line.mid(4).trimmed().split(' ')[0].toDouble();
    }
    return 0;
}

}  // namespace ornavex::bench
