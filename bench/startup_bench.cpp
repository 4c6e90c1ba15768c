// Start-up: the time from launch until the main window is mapped on the X
// server, and the resident memory a few seconds later when the program idles.
//
// Usage: startup_bench [launches]   (default 7). Starts its own Xvfb when
// DISPLAY is unset.

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// Xlib's macros (Status, Bool, None) clash with Qt's headers: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kMainWindowTitle[] = "Tarnwerk Ornavex";
constexpr auto kMapTimeout = 15s;
constexpr auto kIdleAfter = 5s;
constexpr double kMapTargetSeconds = 1.10;
constexpr double kResidentTargetMiB = 40.0;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// An Xvfb of our own, ended with the benchmark.
class OwnXServer {
  public:
    bool start() {
        for (int number = 99; number > 50; --number) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
                QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) {
                continue;
            }
            name_ = QStringLiteral(":%1").arg(number);
            server_.start("Xvfb", {name_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
            if (!server_.waitForStarted(5000)) return false;
            for (int attempt = 0; attempt < 100 && server_.state() == QProcess::Running;
                 ++attempt) {
                if (DisplayHandle(XOpenDisplay(name_.toLocal8Bit().constData()))) return true;
                std::this_thread::sleep_for(50ms);
            }
            server_.kill();
            server_.waitForFinished();
        }
        return false;
    }
    QString name() const { return name_; }
    ~OwnXServer() {
        if (server_.state() == QProcess::NotRunning) return;
        server_.terminate();
        if (!server_.waitForFinished(3000)) server_.kill();
        server_.waitForFinished(3000);
    }

  private:
    QProcess server_;
    QString name_;
};

std::optional<QByteArray> windowTitle(Display* display, Window window) {
    const Atom properties[] = {XInternAtom(display, "_NET_WM_NAME", False), XA_WM_NAME};
    for (Atom property : properties) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        const int status =
            XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &remaining, &data);
        std::unique_ptr<unsigned char, int (*)(void*)> owned(data, XFree);
        if (status == Success && data && format == 8) {
            return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(count));
        }
    }
    return std::nullopt;
}

struct StartTimes {
    std::optional<Clock::time_point> serving;
    std::optional<Clock::time_point> mapped;
};

// Waits for a MapNotify of the main window; the root's substructure must be
// watched before the launch so that no event can slip by. On the way it notes
// when the socket appears, that is when the single-instance check is done.
StartTimes waitForMainWindowMap(Display* display, const QString& socketPath) {
    StartTimes times;
    const Clock::time_point deadline = Clock::now() + kMapTimeout;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    while (Clock::now() < deadline) {
        if (!times.serving && QFile::exists(socketPath)) times.serving = Clock::now();
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify) continue;
            const Clock::time_point mapped = Clock::now();
            if (windowTitle(display, event.xmap.window) == QByteArray(kMainWindowTitle)) {
                times.mapped = mapped;
                return times;
            }
        }
        poll(&connection, 1, 5);
    }
    return times;
}

std::optional<double> residentMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return std::nullopt;
    static const QRegularExpression vmRss(QStringLiteral("VmRSS:\\s+(\\d+)\\s+kB"));
    const auto match = vmRss.match(QString::fromLatin1(status.readAll()));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toDouble() / 1024.0;
}

// A copied program whose settings already name a document folder, so start-up
// does not stop at the first-start question.
class Sandbox {
  public:
    bool prepare() {
        for (const char* folder : {"bin", "runtime", "home", "config", "docs"}) {
            QDir(root_.path()).mkpath(folder);
        }
        QFile::setPermissions(root_.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!QFile::copy(ORNAVEX_BINARY, program())) return false;
        QFile settings(root_.filePath("bin/ornavex.ini"));
        if (!settings.open(QIODevice::WriteOnly)) return false;
        settings.write("[Default]\nOrdner=" + QFile::encodeName(root_.filePath("docs")) + "/\n");
        return true;
    }
    QString program() const { return root_.filePath("bin/ornavex"); }
    QString socketPath() const { return root_.filePath("runtime/ornavex.sock"); }
    QProcessEnvironment environment(const QString& display) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("XDG_RUNTIME_DIR", root_.filePath("runtime"));
        environment.insert("HOME", root_.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", root_.filePath("config"));
        return environment;
    }

  private:
    QTemporaryDir root_;
};

struct Launch {
    std::optional<double> servingSeconds;
    std::optional<double> mapSeconds;
    std::optional<double> residentMiB;
    QString ending;  // how the program ended by itself, if it did
};

QString figure(std::optional<double> value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

Launch launchOnce(const Sandbox& sandbox, const QString& displayName) {
    Launch result;
    // The X server sometimes refuses a connection right after the previous
    // program's went away; try again briefly before giving up on the launch.
    DisplayHandle display(XOpenDisplay(displayName.toLocal8Bit().constData()));
    for (int attempt = 0; !display && attempt < 20; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        display.reset(XOpenDisplay(displayName.toLocal8Bit().constData()));
    }
    if (!display) {
        result.ending = QStringLiteral(" (the benchmark could not reach the display)");
        return result;
    }
    XSelectInput(display.get(), DefaultRootWindow(display.get()), SubstructureNotifyMask);
    XSync(display.get(), False);

    // The previous launch was killed and left its socket behind.
    QFile::remove(sandbox.socketPath());
    QProcess process;
    process.setProcessEnvironment(sandbox.environment(displayName));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const Clock::time_point launched = Clock::now();
    process.start(sandbox.program(), {});
    if (!process.waitForStarted(5000)) {
        result.ending = QStringLiteral(" (the program did not start)");
        return result;
    }

    const auto seconds = [launched](Clock::time_point when) {
        return std::chrono::duration<double>(when - launched).count();
    };
    const StartTimes times = waitForMainWindowMap(display.get(), sandbox.socketPath());
    if (times.serving) result.servingSeconds = seconds(*times.serving);
    if (times.mapped) result.mapSeconds = seconds(*times.mapped);
    std::this_thread::sleep_until(launched + kIdleAfter);
    if (process.state() == QProcess::Running) {
        result.residentMiB = residentMiB(process.processId());
    } else {
        result.ending = QStringLiteral(" (ended by itself: status %1, code %2)")
                            .arg(process.exitStatus())
                            .arg(process.exitCode());
    }
    stop(process);
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void report(const char* what, const char* unit, const std::vector<double>& values, double target,
            int launches) {
    if (values.empty()) {
        std::printf("%-22s no figure from %d launches  FAIL\n", what, launches);
        return;
    }
    const double worst = *std::max_element(values.begin(), values.end());
    std::printf("%-22s median %7.3f %s  max %7.3f %s  target <= %.2f %s  (%zu of %d)  %s\n", what,
                median(values), unit, worst, unit, target, unit, values.size(), launches,
                worst <= target && static_cast<int>(values.size()) == launches ? "PASS" : "FAIL");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int launches = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    OwnXServer ownServer;
    QString displayName = qEnvironmentVariable("DISPLAY");
    if (displayName.isEmpty()) {
        if (!ownServer.start()) {
            std::fprintf(stderr, "startup_bench: cannot start Xvfb\n");
            return 1;
        }
        displayName = ownServer.name();
    }
    Sandbox sandbox;
    if (!sandbox.prepare()) {
        std::fprintf(stderr, "startup_bench: cannot prepare a copy of %s\n", ORNAVEX_BINARY);
        return 1;
    }

    std::vector<double> servingSeconds, mapSeconds, resident;
    for (int i = 0; i < launches; ++i) {
        const Launch launch = launchOnce(sandbox, displayName);
        std::printf("launch %d: serving after %s s, mapped after %s s, resident %s MiB%s\n", i + 1,
                    qPrintable(figure(launch.servingSeconds, 3)),
                    qPrintable(figure(launch.mapSeconds, 3)),
                    qPrintable(figure(launch.residentMiB, 1)), qPrintable(launch.ending));
        std::fflush(stdout);
        if (launch.servingSeconds) servingSeconds.push_back(*launch.servingSeconds);
        if (launch.mapSeconds) mapSeconds.push_back(*launch.mapSeconds);
        if (launch.residentMiB) resident.push_back(*launch.residentMiB);
    }
    if (!servingSeconds.empty()) {
        std::printf("%-22s median %7.3f s  (before the one-second wait; for reading the figure)\n",
                    "socket served", median(servingSeconds));
    }
    report("main window mapped", "s", mapSeconds, kMapTargetSeconds, launches);
    report("resident when idle", "MiB", resident, kResidentTargetMiB, launches);
    return 0;
}
