// Scans A4 colour pages at 600 dpi one after another on the road the program
// takes: an X display of its own (Xvfb) with the real X clipboard, the window's
// "Scannen" button, the real dialogs and message boxes answered by a timer as a
// user would, the scanner worker on SANE's test device and the folder worker
// storing JPEG quality 100; then more pages while a clipboard manager (another
// X client) reads every page from the clipboard as a bitmap. Then another X
// client reads the page as a bitmap, and eight more ask for it and never read.
// Prints the peak memory of all the program's processes over idle, sampled
// every 10 ms by a thread of its own. This executable runs
// as the program: its workers are this executable in the program's worker modes.
//
// ORNAVEX_BENCH_PEAK_SMAPS=<folder> keeps /proc/PID/smaps of every counted
// process at the highest peak of each phase, to see where the memory goes, and
// the shared page files in <phase>-0.smaps.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/real_platform_services.h"
#include "bench/bench_support.h"
#include "folder/folder_worker.h"
#include "scan/dialogs/scanner_acquire_dialog.h"
#include "scan/dialogs/scanner_source_dialog.h"
#include "scan/sane_scanner_library.h"
#include "scan/service/scanner_worker.h"
#include "shell/root.h"
#include "shell/state.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPages = 4;
constexpr double kScanTarget = 2.50;
constexpr double kReadTarget = 3.00;
constexpr int kStalledReaders = 8;
// Every mode of another X client starts with this word, so none counts as the program.
constexpr const char* kReadClipboard = "--read-clipboard";
constexpr const char* kReadEveryPage = "--read-clipboard-every-page";
constexpr const char* kReadAndStall = "--read-clipboard-and-stall";

[[noreturn]] void fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    ::_exit(1);  // the workers and Xvfb die with this process
}

// Ends the run when a step outlives its deadline: nothing here waits unbounded.
class Watchdog {
  public:
    Watchdog()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              while (!stopping_) {
                  if (std::chrono::steady_clock::now() > deadline_) fail(step_ + " timed out");
                  woken_.wait_for(lock, 200ms);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        woken_.notify_all();
        thread_.join();
    }
    void step(std::string name, std::chrono::seconds limit) {
        std::lock_guard lock(mutex_);
        step_ = std::move(name);
        deadline_ = std::chrono::steady_clock::now() + limit;
    }

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    std::string step_ = "start";
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + 60s;
    bool stopping_ = false;
    std::thread thread_;
};

// An Xvfb of our own, which names its display on a pipe; it dies with us.
class PrivateDisplay {
  public:
    PrivateDisplay() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(127);
            ::fcntl(ends[1], F_SETFD, 0);
            const std::string fd = std::to_string(ends[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                     "1280x1024x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ends[1]);
        std::string number;
        pollfd wait{ends[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 10000) > 0 && ::read(ends[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ends[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~PrivateDisplay() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);  // lets Xvfb remove its lock file and socket
        for (int i = 0; i < 300 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) ::usleep(10000);
    }
    const std::string& name() const { return name_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

std::set<long> childrenOf(long pid) {
    std::set<long> children;
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks + task + QStringLiteral("/children"));
        if (!list.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& child : list.readAll().split(' ')) {
            if (!child.trimmed().isEmpty()) children.insert(child.trimmed().toLong());
        }
    }
    return children;
}

bool isClipboardReader(long pid) {
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().contains(kReadClipboard);
}

// The program: this process and every process below it (the scanner and the
// folder worker, and whatever else it starts), but not Xvfb and not the other
// X client.
std::set<long> programProcesses(long display) {
    std::set<long> found{::getpid()};
    std::vector<long> open{::getpid()};
    while (!open.empty()) {
        const long parent = open.back();
        open.pop_back();
        for (long child : childrenOf(parent)) {
            if (child == display || isClipboardReader(child)) continue;
            if (found.insert(child).second) open.push_back(child);
        }
    }
    return found;
}

// What the program holds, in kB. PSS alone does not see all of it: the pages of
// a shared memory file count only where a process has touched them through a
// mapping, and not at all while the file is merely open. So every memory file
// a process maps or holds open counts once, whole, at its allocated size, and
// PSS counts everything else (the private copies in a file's mapping included).
// The smaps read go to `smaps`.
double programKilobytes(const std::set<long>& processes,
                        std::vector<std::pair<long, QByteArray>>& smaps) {
    double total = 0;
    struct MemoryFile {
        double allocatedKb = -1;  // unknown until a descriptor or mapping is reached
        double mappedPssKb = 0;
    };
    std::map<ino_t, MemoryFile> memoryFiles;  // memory files all live on one internal mount
    const auto allocatedKb = [](const std::string& path, ino_t& inode) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return -1.0;
        inode = info.st_ino;
        return double(info.st_blocks) * 512.0 / 1024.0;
    };
    for (long pid : processes) {
        QFile file(QStringLiteral("/proc/%1/smaps").arg(pid));
        if (!file.open(QIODevice::ReadOnly)) continue;
        smaps.emplace_back(pid, file.readAll());
        MemoryFile* mapped = nullptr;
        for (const QByteArray& line : smaps.back().second.split('\n')) {
            const int colon = line.indexOf(':');
            const int space = line.indexOf(' ');
            if (space > 0 && (colon < 0 || colon > space)) {  // a mapping's header
                mapped = nullptr;
                if (!line.contains(" /memfd:")) continue;
                const QList<QByteArray> fields = line.simplified().split(' ');
                MemoryFile& memory = memoryFiles[fields.value(4).toULong()];
                mapped = &memory;
                ino_t inode = 0;
                const double kilobytes = allocatedKb(
                    "/proc/" + std::to_string(pid) + "/map_files/" + fields[0].toStdString(),
                    inode);
                if (kilobytes >= 0) memory.allocatedKb = kilobytes;
                continue;
            }
            if (mapped != nullptr && line.startsWith("Pss:")) {
                mapped->mappedPssKb += line.mid(4).trimmed().split(' ')[0].toDouble();
            } else if (line.startsWith(mapped != nullptr ? "Anonymous:" : "Pss:")) {
                total += line.mid(mapped != nullptr ? 10 : 4).trimmed().split(' ')[0].toDouble();
            }
        }
        const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd/";
        const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(descriptors.c_str()),
                                                         ::closedir);
        while (const dirent* entry = folder ? ::readdir(folder.get()) : nullptr) {
            const std::string link = descriptors + entry->d_name;
            char target[64] = {};
            if (::readlink(link.c_str(), target, sizeof target - 1) < 0 ||
                std::strncmp(target, "/memfd:", 7) != 0) {
                continue;
            }
            ino_t inode = 0;
            const double kilobytes = allocatedKb(link, inode);
            if (kilobytes >= 0) memoryFiles[inode].allocatedKb = kilobytes;
            smaps.back().second += QStringLiteral("open memory file: fd %1, inode %2, %3 kB\n")
                                       .arg(QString::fromLatin1(entry->d_name))
                                       .arg(inode)
                                       .arg(kilobytes)
                                       .toLatin1();
        }
    }
    QByteArray summary;
    for (const auto& [inode, memory] : memoryFiles) {
        const double kilobytes = memory.allocatedKb >= 0 ? memory.allocatedKb : memory.mappedPssKb;
        total += kilobytes;
        summary += QStringLiteral("memory file inode %1: %2 kB allocated, %3 kB PSS mapped\n")
                       .arg(inode)
                       .arg(memory.allocatedKb)
                       .arg(memory.mappedPssKb)
                       .toLatin1();
    }
    smaps.emplace_back(0, summary + QStringLiteral("total %1 kB\n").arg(total).toLatin1());
    return total;
}

class MemorySampler {
  public:
    explicit MemorySampler(long display) : display_(display) {
        keepSmapsIn_ = qEnvironmentVariable("ORNAVEX_BENCH_PEAK_SMAPS");
        thread_ = std::thread([this] {
            while (!stopping_) {
                sample();
                std::this_thread::sleep_for(10ms);
            }
        });
    }
    ~MemorySampler() {
        stopping_ = true;
        thread_.join();
    }
    double currentKb() const { return current_; }
    double peakKb() const { return peak_; }
    // The peak of the samples taken while the new page is already in the preview.
    double peakWithNewPageKb() const { return peakWithNewPage_; }
    void setNewPageShown(bool shown) { newPageShown_ = shown; }
    // Starts a new phase; its smaps go under the given name.
    void restartPeak(const QString& phase) {
        std::lock_guard lock(phaseMutex_);
        phase_ = phase;
        peak_ = 0;
        peakWithNewPage_ = 0;
        keptPeak_ = 0;
        keptPeakWithNewPage_ = 0;
    }
    // The program's PSS, settled: the smallest of a few samples a moment apart.
    double settledKb() {
        double least = 1e300;
        for (int i = 0; i < 10; ++i) {
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < 100)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            least = std::min(least, current_.load());
        }
        return least;
    }

  private:
    void sample() {
        std::vector<std::pair<long, QByteArray>> smaps;
        const bool newPageBefore = newPageShown_;
        const double total = programKilobytes(programProcesses(display_), smaps);
        current_ = total;
        std::lock_guard lock(phaseMutex_);
        // A sample counts for the new page only when it began and ended with it shown.
        if (newPageBefore && newPageShown_ && total > peakWithNewPage_) {
            peakWithNewPage_ = total;
            keep(smaps, phase_ + QStringLiteral("-new-page"), total, keptPeakWithNewPage_);
        }
        if (total <= peak_) return;
        peak_ = total;
        keep(smaps, phase_, total, keptPeak_);
    }

    void keep(const std::vector<std::pair<long, QByteArray>>& smaps, const QString& name,
              double total, double& keptPeak) {
        if (keepSmapsIn_.isEmpty() || total < keptPeak + 1024) return;
        keptPeak = total;
        for (const auto& [pid, text] : smaps) {
            QFile kept(QStringLiteral("%1/%2-%3.smaps").arg(keepSmapsIn_, name).arg(pid));
            if (kept.open(QIODevice::WriteOnly)) kept.write(text);
        }
    }

    long display_;
    QString keepSmapsIn_;
    std::mutex phaseMutex_;
    QString phase_ = QStringLiteral("idle");
    double keptPeak_ = 0;
    double keptPeakWithNewPage_ = 0;
    std::atomic<double> current_{0};
    std::atomic<double> peak_{0};
    std::atomic<double> peakWithNewPage_{0};
    std::atomic<bool> newPageShown_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

QPushButton* button(QWidget& dialog, const QString& text) {
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
        if (candidate->text() == text) return candidate;
    }
    return nullptr;
}

// Plays the user: the test device, A4 colour at 600 dpi, "Scannen"; a message
// box is read and answered with its default button.
class User {
  public:
    // `tick` runs at every look, whatever is on the screen.
    explicit User(std::function<void()> tick) {
        QObject::connect(&timer_, &QTimer::timeout, [this, tick] {
            tick();
            answer();
        });
        timer_.start(20);
    }
    int messagesSeen() const { return messages_; }

  private:
    // The program's boxes and dialogs are not modal: the newest visible one is the one to answer.
    static QWidget* frontDialog() {
        // A box shown by a dialog stands in front of it.
        QWidget* front = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || !qobject_cast<QDialog*>(widget)) continue;
            if (qobject_cast<QMessageBox*>(widget)) return widget;
            front = widget;
        }
        return front;
    }

    void answer() {
        QWidget* modal = frontDialog();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box == answered_) return;
            answered_ = box;
            ++messages_;
            std::printf("message box: %s\n", qPrintable(box->text().simplified()));
            QAbstractButton* choice = box->defaultButton();
            if (choice == nullptr && !box->buttons().isEmpty()) choice = box->buttons().first();
            if (choice != nullptr) choice->click();
        } else if (auto* source = qobject_cast<ornavex::ScannerSourceDialog*>(modal)) {
            auto* list = source->findChild<QTreeWidget*>(QStringLiteral("geraeteListe"));
            if (source->isSearching()) return;
            const auto found = list->findItems(QStringLiteral("test:0"), Qt::MatchExactly, 2);
            if (found.isEmpty()) fail("the test device test:0 was not found");
            list->setCurrentItem(found.first());
            button(*source, QStringLiteral("OK"))->click();
        } else if (auto* acquire = qobject_cast<ornavex::ScannerAcquireDialog*>(modal)) {
            QPushButton* scan = button(*acquire, QStringLiteral("Scannen"));
            if (!scan->isEnabled()) return;
            auto* resolution = acquire->findChild<QComboBox*>(QStringLiteral("aufloesung"));
            resolution->setCurrentIndex(resolution->findText(QStringLiteral("600 dpi")));
            auto* mode = acquire->findChild<QComboBox*>(QStringLiteral("modus"));
            mode->setCurrentIndex(mode->findText(QStringLiteral("Farbe")));
            scan->click();
        }
    }

    QTimer timer_;
    QPointer<QMessageBox> answered_;
    int messages_ = 0;
};

// The other program: asks the X clipboard for the page as a Windows bitmap and
// prints how many bytes came.
int readClipboard(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    if (offered == nullptr || !offered->hasFormat(QStringLiteral("image/bmp"))) {
        std::printf("the clipboard offers no image/bmp\n");
        return 2;
    }
    const QByteArray bitmap = offered->data(QStringLiteral("image/bmp"));
    std::printf("%lld\n", static_cast<long long>(bitmap.size()));
    return bitmap.startsWith("BM") ? 0 : 1;
}

// A clipboard manager: takes what the clipboard holds at its start, then reads
// every page put on the clipboard as a Windows bitmap, at once, each said on a
// line of its own. Ends once its input closes, after the read under way.
int readEveryPage(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const auto readPage = [](const char* what) {
        const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
        if (offered == nullptr || !offered->hasFormat(QStringLiteral("image/bmp"))) return;
        std::printf("%s %lld\n", what,
                    static_cast<long long>(offered->data(QStringLiteral("image/bmp")).size()));
        std::fflush(stdout);
    };
    readPage("held");
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                     [&] { readPage("read"); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char ignored = 0;
        if (::read(STDIN_FILENO, &ignored, 1) <= 0) app.quit();
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr),
        std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_NONE);
}

// Waits up to a minute for the answer to a selection request.
std::unique_ptr<xcb_selection_notify_event_t, decltype(&std::free)> selectionAnswer(
    xcb_connection_t* connection) {
    pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & ~0x80) == XCB_SELECTION_NOTIFY) {
                return {reinterpret_cast<xcb_selection_notify_event_t*>(event), std::free};
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) break;
        ::poll(&readable, 1, 200);
    }
    return {nullptr, std::free};
}

// Another program that asks for the page as a Windows bitmap and never reads
// it: the program keeps the transfer open, with what it handed out, until it
// gives up. Says "stalled" and the transfer's type once asked, then waits
// until its input closes.
int askAndStall() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), xcb_disconnect);
    xcb_connection_t* x = connection.get();
    if (xcb_connection_has_error(x)) return 2;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t window = xcb_generate_id(x);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                      &events);
    const xcb_atom_t property = internAtom(x, "ORNAVEX_BENCH_STALLED");
    xcb_convert_selection(x, window, internAtom(x, "CLIPBOARD"), internAtom(x, "image/bmp"),
                          property, XCB_CURRENT_TIME);
    xcb_flush(x);
    const auto answer = selectionAnswer(x);
    if (!answer || answer->property == XCB_NONE) {
        std::printf("refused\n");
        return 1;
    }
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> transfer(
        xcb_get_property_reply(
            x, xcb_get_property(x, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr),
        std::free);
    const bool incremental = transfer && transfer->type == internAtom(x, "INCR");
    std::printf("stalled %s\n", incremental ? "INCR" : "whole");
    std::fflush(stdout);
    char ignored = 0;
    while (::read(STDIN_FILENO, &ignored, 1) > 0) {
    }
    return 0;
}

// The scanned page's bytes at 3 bytes a pixel.
double rawPageBytes = 0;

double timesRaw(double kilobytes) {
    return kilobytes * 1024.0 / rawPageBytes;
}

const char* verdict(double figure, double target) {
    return figure <= target ? "within target" : "OVER TARGET";
}

}  // namespace

int main(int argc, char** argv) {
    // The program's worker modes, as its own main has them: this executable is the program here.
    if (argc == 2 && std::strcmp(argv[1], "--scanner-worker") == 0) {
        return ornavex::runScannerWorker(ornavex::kWorkerSocketDescriptor);
    }
    if (argc == 2 && std::strcmp(argv[1], "--folder-worker") == 0) {
        return ornavex::runFolderWorker(ornavex::kWorkerSocketDescriptor);
    }
    if (argc == 2 && std::strcmp(argv[1], kReadClipboard) == 0) return readClipboard(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], kReadEveryPage) == 0) return readEveryPage(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], kReadAndStall) == 0) return askAndStall();
    Watchdog watchdog;

    watchdog.step("starting Xvfb", 15s);
    const PrivateDisplay display;
    if (display.name().empty()) fail("Xvfb did not start (is it installed?)");
    ornavex::bench::useBenchEnvironment();
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", QByteArray::fromStdString(display.name()));
    QApplication qtApp(argc, argv);
    QTemporaryDir folder;

    // Built as the program's main builds it.
    ornavex::RealPlatformServices real = ornavex::makeRealPlatformServices();
    ornavex::PlatformServices& platform = real.services;
    const QString settings = folder.filePath(QStringLiteral("ornavex.ini"));
    auto library = std::make_unique<ornavex::SaneScannerLibrary>(*platform.clipboard,
                                                                 *platform.messageBoxes, settings);
    ornavex::ScannerClient& client = library->client();
    ornavex::SaneScannerLibrary& scannerLibrary = *library;
    platform.scanner = std::move(library);
    ornavex::Application app(platform, settings);
    ornavex::Root& root = app.root();
    ornavex::State& state = app.state();
    real.messageBoxes.setOwner(&root);
    real.fileDialogs.setOwner(&root);
    scannerLibrary.setOwner(&root);
    state.setFolder(folder.path() + QLatin1Char('/'));
    root.show();

    MemorySampler sampler(display.pid());
    // Until the new page replaces the last one in the preview, both are held;
    // after it, the page goes to the clipboard and the folder worker.
    qint64 lastPage = 0;
    User user([&] {
        sampler.setNewPageShown(!state.page().picture().isNull() &&
                                state.page().picture().cacheKey() != lastPage);
    });
    watchdog.step("choosing the scanner", 120s);
    root.bAnzeigen()->click();  // with an empty preview on page 1: the scanner choice
    if (!ornavex::bench::waitFor([&] { return !state.commandRunning(); }))
        fail("the scanner choice did not end");
    if (state.scannerChoice() != ornavex::ScannerChoice::Chosen) fail("no scanner was chosen");
    // Idle: the window with no page yet, the scanner worker up after its search,
    // the folder worker up after its first call.
    watchdog.step("settling at idle", 30s);
    const auto pageOne = ornavex::bench::answerOf(
        [&](auto then) {
            platform.folder->askFileExists(folder.filePath(QStringLiteral("seite1.jpg")), then);
        },
        ornavex::FolderAnswer::NoAnswer);
    if (pageOne != ornavex::FolderAnswer::No) {
        fail("the folder worker does not answer");
    }
    const double idleKb = sampler.settledKb();
    const long scanner = client.workerPid();

    // Scans kPages pages, numbered from `first`, each through "Scannen" and stored.
    const auto scanPages = [&](int first) {
        for (int page = first; page < first + kPages; ++page) {
            watchdog.step("scanning page " + std::to_string(page), 180s);
            const QString name = QStringLiteral("seite%1.jpg").arg(page);
            state.setFileName(name);
            lastPage = state.page().picture().cacheKey();
            sampler.setNewPageShown(false);
            root.bScannen()->click();
            if (!ornavex::bench::waitFor([&] {
                    return !state.commandRunning() && !state.page().isNull() &&
                           state.page().picture().cacheKey() != lastPage &&
                           QFileInfo(folder.filePath(name)).size() > 0;
                })) {
                fail("page " + std::to_string(page) + " did not arrive or was not stored");
            }
        }
    };
    const auto startHelper = [](QProcess& helper, const char* mode) {
        helper.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
    };
    const auto linesOf = [](QProcess& helper, QByteArray& said, const QByteArray& word) {
        said += helper.readAllStandardOutput();
        return static_cast<int>(said.count("\n" + word)) + (said.startsWith(word) ? 1 : 0);
    };

    sampler.restartPeak(QStringLiteral("scans"));
    QElapsedTimer clock;
    clock.start();
    scanPages(1);
    const double seconds = clock.nsecsElapsed() / 1e9;
    rawPageBytes = 3.0 * state.page().picture().width() * state.page().picture().height();
    const double scanPeakKb = sampler.peakKb();
    const double storePeakKb = sampler.peakWithNewPageKb();
    sampler.setNewPageShown(false);

    watchdog.step("starting the clipboard manager", 30s);
    QProcess manager;
    QByteArray managerSaid;
    startHelper(manager, kReadEveryPage);
    if (!ornavex::bench::waitFor([&] { return linesOf(manager, managerSaid, "ready") > 0; })) {
        fail("the clipboard manager did not start");
    }
    sampler.restartPeak(QStringLiteral("scans-with-manager"));
    scanPages(kPages + 1);
    watchdog.step("the clipboard manager reading the last page", 120s);
    if (!ornavex::bench::waitFor([&] { return linesOf(manager, managerSaid, "read") >= kPages; })) {
        fail("the clipboard manager did not read every page: " + managerSaid.toStdString());
    }
    manager.closeWriteChannel();
    if (!ornavex::bench::waitFor([&] { return manager.state() == QProcess::NotRunning; })) {
        fail("the clipboard manager did not end");
    }
    const double managerPeakKb = sampler.peakKb();
    sampler.setNewPageShown(false);

    watchdog.step("settling after the scans", 30s);
    const double beforeReadingKb = sampler.settledKb();
    sampler.restartPeak(QStringLiteral("reading"));
    watchdog.step("another program reading the clipboard", 180s);
    QProcess reader;
    startHelper(reader, kReadClipboard);
    QElapsedTimer reading;
    reading.start();
    if (!ornavex::bench::waitFor([&] { return reader.state() == QProcess::NotRunning; })) {
        reader.kill();
        reader.waitForFinished(3000);
        fail("the other program did not finish reading the clipboard within a minute");
    }
    const double readSeconds = reading.nsecsElapsed() / 1e9;
    const QByteArray readerSaid = reader.readAllStandardOutput().trimmed();
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        fail("the other program got no bitmap from the clipboard: " + readerSaid.toStdString());
    }
    const double readPeakKb = sampler.peakKb();
    watchdog.step("settling after reading", 30s);
    const double afterReadingKb = sampler.settledKb();

    sampler.restartPeak(QStringLiteral("stalled-readers"));
    watchdog.step("other programs asking for the page and never reading it", 120s);
    std::vector<std::unique_ptr<QProcess>> stalled(kStalledReaders);
    std::vector<QByteArray> stalledSaid(kStalledReaders);
    for (auto& asking : stalled) {
        asking = std::make_unique<QProcess>();
        startHelper(*asking, kReadAndStall);
    }
    int incremental = 0;
    if (!ornavex::bench::waitFor([&] {
            int answered = 0;
            incremental = 0;
            for (int i = 0; i < kStalledReaders; ++i) {
                answered += linesOf(*stalled[i], stalledSaid[i], "stalled");
                incremental += stalledSaid[i].contains("INCR") ? 1 : 0;
                if (stalled[i]->state() == QProcess::NotRunning) {
                    fail("another program got no answer: " + stalledSaid[i].toStdString());
                }
            }
            return answered == kStalledReaders;
        })) {
        fail("the program did not answer every other program within a minute");
    }
    sampler.settledKb();  // a second of samples with every transfer still open
    const double stalledPeakKb = sampler.peakKb();
    for (auto& asking : stalled) {
        asking->closeWriteChannel();
        if (!asking->waitForFinished(3000)) asking->kill();
    }

    const double scanFigure = timesRaw(scanPeakKb - idleKb);
    const double managerFigure = timesRaw(managerPeakKb - idleKb);
    const double readFigure = timesRaw(readPeakKb - idleKb);
    const double stalledFigure = timesRaw(stalledPeakKb - idleKb);
    std::printf(
        "%d A4 colour pages at 600 dpi scanned through the window's \"Scannen\" on an X display "
        "of its own and stored as JPEG q100 in %.1f s (scanner worker %ld, %d message boxes "
        "answered)\n",
        kPages, seconds, scanner, user.messagesSeen());
    std::printf(
        "memory is what the window, the scanner and the folder worker hold together: PSS, "
        "and each shared page file once, whole\n");
    std::printf("raw page: %d x %d pixels, %.1f MB\n", state.page().picture().width(),
                state.page().picture().height(), rawPageBytes / 1e6);
    std::printf("idle: %.1f MB\n", idleKb * 1024.0 / 1e6);
    std::printf("peak over the scans: %.1f MB above idle = %.2f x raw page (target <= %.2f, %s)\n",
                (scanPeakKb - idleKb) * 1024.0 / 1e6, scanFigure, kScanTarget,
                verdict(scanFigure, kScanTarget));
    std::printf(
        "  of it, once the new page is in the preview (clipboard, store): peak %.2f x raw page\n",
        timesRaw(storePeakKb - idleKb));
    std::printf(
        "peak over %d more scans while a clipboard manager reads every page as image/bmp (%d "
        "reads): %.1f MB above idle = %.2f x raw page (target <= %.2f, %s)\n",
        kPages, linesOf(manager, managerSaid, "read"), (managerPeakKb - idleKb) * 1024.0 / 1e6,
        managerFigure, kScanTarget, verdict(managerFigure, kScanTarget));
    std::printf("after the scans: %.2f x raw page above idle\n",
                timesRaw(beforeReadingKb - idleKb));
    std::printf(
        "another X client read the page from the clipboard as image/bmp (%s bytes) in %.1f s\n",
        readerSaid.constData(), readSeconds);
    std::printf(
        "peak while another client reads the clipboard: %.1f MB above idle = %.2f x raw page "
        "(target <= %.2f, %s)\n",
        (readPeakKb - idleKb) * 1024.0 / 1e6, readFigure, kReadTarget,
        verdict(readFigure, kReadTarget));
    std::printf("held after reading: %+.1f MB = %+.2f x raw page against before reading\n",
                (afterReadingKb - beforeReadingKb) * 1024.0 / 1e6,
                timesRaw(afterReadingKb - beforeReadingKb));
    std::printf(
        "peak while %d other X clients ask for the page as image/bmp and never read it (%d "
        "transfers in pieces left open): %.1f MB above idle = %.2f x raw page (target <= %.2f, "
        "%s)\n",
        kStalledReaders, incremental, (stalledPeakKb - idleKb) * 1024.0 / 1e6, stalledFigure,
        kReadTarget, verdict(stalledFigure, kReadTarget));
    std::fflush(stdout);
    return 0;
}
