#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "platform/qt_desktop.h"
#include "scan/dialogs/scanner_login_dialog.h"
#include "scan/dialogs/scanner_source_dialog.h"
#include "scan/sane_scanner_library.h"
#include "tests/fakes/fake_message_boxes.h"
#include "tests/scan/scanner_test_support.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"

namespace ornavex::test {
namespace {

constexpr int kAnswerMs = 30000;

// The shown dialog of that kind, if one is up.
template <typename Dialog>
Dialog* shownDialog() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<Dialog*>(window); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Runs the step on the dialog of that kind once it is up; the watch ends with
// the scope, so it never reaches into a later test. Qt drops a window manager's close
// request to a window that a modal dialog blocks, and the program's end must never
// wait for a scanner: no scanner dialog blocks the main window.
template <typename Dialog>
void whenShown(QObject& scope, std::function<void(Dialog&)> step) {
    auto* timer = new QTimer(&scope);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        if (auto* dialog = shownDialog<Dialog>()) {
            timer->deleteLater();
            timer->stop();
            EXPECT_EQ(QGuiApplication::modalWindow(), nullptr) << dialog->metaObject()->className();
            step(*dialog);
        }
    });
    timer->start(20);
}

QPushButton* button(QWidget& dialog, const QString& text) {
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
        if (candidate->text() == text) return candidate;
    }
    return nullptr;
}

void pick(QWidget& dialog, const char* box, const QString& choice) {
    auto* choices = dialog.findChild<QComboBox*>(box);
    choices->setCurrentIndex(choices->findText(choice));
}

// What a screen reader says for the dialog's control of that kind.
template <typename Control>
QString spoken(QWidget& dialog) {
    return QAccessible::queryAccessibleInterface(dialog.findChild<Control*>())
        ->text(QAccessible::Name);
}

// Picks a device once the search has listed it.
void chooseWhenListed(ScannerSourceDialog& dialog, const QString& device) {
    auto* timer = new QTimer(&dialog);
    QObject::connect(timer, &QTimer::timeout, &dialog, [&dialog, timer, device] {
        auto* list = dialog.findChild<QTreeWidget*>("geraeteListe");
        if (dialog.isSearching() || !list) return;
        const auto found = list->findItems(device, Qt::MatchExactly, 2);
        if (found.isEmpty()) return;
        timer->stop();
        list->setCurrentItem(found.first());
        button(dialog, "OK")->click();
    });
    timer->start(20);
}

class ScannerDialogsTest : public ::testing::Test {
  protected:
    ScannerDialogsTest() { library.setOwner(&owner); }
    void SetUp() override { useTestDevice(); }
    void TearDown() override {
        // Late second answers would arrive from the event loop too.
        waitUntil([] { return false; }, 200);
        for (const auto& count : answerCounts) EXPECT_EQ(count(), 1u) << "answers to one ask";
    }

    // Asks and waits, within a bound, for the answer, which must not come inside the ask.
    template <typename Result>
    Result answerOf(const std::function<void(std::function<void(Result)>)>& ask) {
        auto answers = std::make_shared<std::vector<Result>>();
        ask([answers](Result result) { answers->push_back(std::move(result)); });
        EXPECT_TRUE(answers->empty()) << "answered before the ask returned";
        EXPECT_TRUE(waitUntil([&] { return !answers->empty(); }, kAnswerMs));
        answerCounts.push_back([answers] { return answers->size(); });
        return answers->empty() ? Result{} : answers->front();
    }

    void choose(const QString& device) {
        whenShown<ScannerSourceDialog>(
            scope, [device](ScannerSourceDialog& dialog) { chooseWhenListed(dialog, device); });
        ASSERT_NE(selectSource(library), 0);
        ASSERT_EQ(library.chosenDevice(), device);
    }

    int selectSource(SaneScannerLibrary& from) {
        return answerOf<int>([&](auto then) { from.askImageSource(then); });
    }

    Acquisition acquireNow() {
        return answerOf<Acquisition>([&](auto then) { library.askAcquire(std::move(then)); });
    }

    // Presses "Scannen" once the acquisition dialog is up, after the step.
    Acquisition acquire(std::function<void(ScannerAcquireDialog&)> step = {}) {
        whenShown<ScannerAcquireDialog>(scope, [step](ScannerAcquireDialog& dialog) {
            if (step) step(dialog);
            button(dialog, "Scannen")->click();
        });
        return acquireNow();
    }

    // Answers the next login with user "scan", or declines it without a password; the dialog's
    // texts are added to asked. The user takes long, well past the moment the note that the
    // scanner is being opened would come, which must never cover the login.
    void logInWhenAsked(const char* password, QString& asked) {
        whenShown<ScannerLoginDialog>(scope, [&asked, password](ScannerLoginDialog& dialog) {
            QTimer::singleShot(1000, &dialog, [&asked, password, &dialog] {
                EXPECT_EQ(shownDialog<QProgressDialog>(), nullptr) << "a note covers the login";
                for (QLabel* label : dialog.findChildren<QLabel*>()) asked += label->text();
                dialog.findChild<QLineEdit*>("benutzer")->setText("scan");
                dialog.findChild<QLineEdit*>("passwort")->setText(password);
                button(dialog, *password ? "OK" : "Abbrechen")->click();
            });
        });
    }

    // The next worker loads the fault backend, misbehaving as told.
    void misbehave(const QByteArray& faults) {
        useFaultBackend(faults.constData());
        library.client().stopWorker();
    }

    QTemporaryDir folder;
    const QString settings = folder.filePath("ornavex.ini");
    QWidget owner;
    QtClipboard clipboard;
    FakeMessageBoxes messages;
    QObject scope;
    std::vector<std::function<std::size_t()>> answerCounts;
    SaneScannerLibrary library{clipboard, messages, settings, testWorker(), quickDeadlines()};
};

TEST_F(ScannerDialogsTest, TheScannerChosenLastTimeIsReadyAtOnceFoundAgainOrSaidMissing) {
    choose("test:1");
    EXPECT_EQ(ReadIniValue(settings, "Default", "Scanner"), "test:1\tNoname\tfrontend-tester");

    // The next start: the search hangs, yet the remembered scanner can be taken.
    misbehave("get_devices=hang");
    SaneScannerLibrary next{clipboard, messages, settings, testWorker(), quickDeadlines()};
    whenShown<ScannerSourceDialog>(scope, [](ScannerSourceDialog& dialog) {
        EXPECT_TRUE(dialog.isSearching());
        EXPECT_EQ(spoken<QTreeWidget>(dialog) + "|" + spoken<QProgressBar>(dialog),
                  QStringLiteral("Verfügbare Scanner|Suche nach Scannern"));
        button(dialog, "OK")->click();
    });
    EXPECT_NE(selectSource(next), 0);
    EXPECT_EQ(next.chosenDevice(), "test:1");

    // Once the search ends, a USB scanner plugged in again is offered under its new name; one
    // no longer there stays in the list, greyed and said to be missing.
    putFile(folder.filePath("usb"), "libusb:002:007\n");
    useFaultBackend(("usb=" + folder.filePath("usb")).toUtf8().constData());
    const auto offered = [&](const QString& remembered) {
        WriteIniValue(settings, "Default", "Scanner", remembered);
        QString current;
        QString missing;
        whenShown<ScannerSourceDialog>(scope, [&](ScannerSourceDialog& dialog) {
            waitUntil([&] { return !dialog.isSearching(); }, 10000);
            auto* list = dialog.findChild<QTreeWidget*>("geraeteListe");
            if (list->currentItem()) current = list->currentItem()->text(2);
            for (QTreeWidgetItem* item : list->findItems("nicht gefunden", Qt::MatchContains, 1))
                missing += item->text(1) + (item->flags() & Qt::ItemIsEnabled ? "" : " (grau)");
            QPushButton* ok = button(dialog, "OK");
            (ok->isEnabled() ? ok : button(dialog, "Abbrechen"))->click();
        });
        selectSource(next);
        return current + "|" + missing;
    };
    EXPECT_EQ(offered("ornavexfault:libusb:001:004\tOrnavex\tStörgerät"),
              "ornavexfault:libusb:002:007|");
    EXPECT_EQ(ReadIniValue(settings, "Default", "Scanner"),
              "ornavexfault:libusb:002:007\tOrnavex\tStörgerät");
    EXPECT_TRUE(offered("weg:0\tAlt\tGerät").endsWith("|Gerät – nicht gefunden (grau)"));
}

TEST_F(ScannerDialogsTest, ScansAChosenDeviceOntoTheClipboardAndKeepsTheSettingsForTheNextPage) {
    EXPECT_EQ(acquireNow().outcome, AcquireOutcome::NoSource);
    choose("test:1");

    clipboard.setImage(QImage(5, 5, QImage::Format_RGB888));
    const Acquisition acquisition = acquire([](ScannerAcquireDialog& dialog) {
        pick(dialog, "aufloesung", "75 dpi");
        pick(dialog, "modus", "Graustufen");
        EXPECT_EQ(spoken<QProgressBar>(dialog), QStringLiteral("Fortschritt des Scans"));
    });
    ASSERT_EQ(acquisition.outcome, AcquireOutcome::NewPage);
    // The device's A4 page at 75 dpi, in grey.
    EXPECT_EQ(clipboard.image().size(), QSize(620, 876));
    EXPECT_EQ(clipboard.image().format(), QImage::Format_Grayscale8);

    // The folder worker maps the page's own memory file; without it every store would copy
    // the whole page first.
    const QImage& picture = acquisition.page.picture();
    EXPECT_EQ(mapPage(acquisition.page.memoryFile(), layoutOf(picture)), picture);

    // The next page offers what was chosen; a new device starts afresh.
    const auto offered = [&] {
        QString shown;
        whenShown<ScannerAcquireDialog>(scope, [&shown](ScannerAcquireDialog& dialog) {
            shown = dialog.findChild<QComboBox*>("aufloesung")->currentText() + "|" +
                    dialog.findChild<QComboBox*>("modus")->currentText();
            button(dialog, "Abbrechen")->click();
        });
        EXPECT_EQ(acquireNow().outcome, AcquireOutcome::Cancelled);
        return shown;
    };
    EXPECT_EQ(offered(), "75 dpi|Graustufen");
    choose("test:0");
    EXPECT_EQ(offered(), "300 dpi|Graustufen");
}

TEST_F(ScannerDialogsTest, CancellingAHangingSearchOrOpenEndsItAtOnceAndNeuSuchenSearchesAgain) {
    misbehave("get_devices=hang");
    QString stateWhenHung;
    whenShown<ScannerSourceDialog>(scope, [&](ScannerSourceDialog& dialog) {
        // Past the search deadline the dialog says so and offers a new search.
        waitUntil([&] { return !dialog.isSearching(); }, 10000);
        stateWhenHung = dialog.findChild<QLabel*>("suchStatus")->text();
        misbehave("");
        button(dialog, "Neu suchen")->click();
        chooseWhenListed(dialog, "ornavexfault:0");
    });
    EXPECT_NE(selectSource(library), 0);
    EXPECT_TRUE(stateWhenHung.startsWith("Die Suche nach Scannern hat zu lange gedauert"))
        << stateWhenHung.toStdString();

    misbehave("get_devices=hang");
    QElapsedTimer closing;
    whenShown<ScannerSourceDialog>(scope, [&](ScannerSourceDialog& dialog) {
        EXPECT_TRUE(dialog.isSearching());
        closing.start();
        button(dialog, "Abbrechen")->click();
    });
    EXPECT_EQ(selectSource(library), 0);
    // Before the search's own deadline, or the cancel was not what ended it.
    EXPECT_LT(closing.elapsed(), quickDeadlines().search.count());
    EXPECT_EQ(library.client().state(), ScannerClient::State::Stopped);

    // An open that takes long is cancelled from its note, silently.
    misbehave("open=hang");
    choose("ornavexfault:0");
    whenShown<QProgressDialog>(scope,
                               [](QProgressDialog& note) { button(note, "Abbrechen")->click(); });
    EXPECT_EQ(acquireNow().outcome, AcquireOutcome::Cancelled);
    EXPECT_TRUE(messages.shown().empty()) << "the open's deadline came first";
    EXPECT_EQ(library.client().state(), ScannerClient::State::Stopped);
}

using enum AcquireOutcome;
constexpr const char* kBroken = "Die Verbindung zum Scanner ist gestört.";
constexpr const char* kHung = "Der Scanner „Ornavex Störgerät“ antwortet nicht mehr.";
constexpr const char* kCrashed = "Der Treiber des Scanners „Ornavex Störgerät“ ist abgestürzt.";
constexpr const char* kUnplugged =
    "Der Scanner „Ornavex Störgerät“ kann nicht geöffnet werden.\nBitte prüfen Sie, ob der "
    "Scanner angeschlossen";

struct TroubleRow {
    const char* name;
    const char* faults;  // %once: a file for faults that come once; %usb: the USB names
    AcquireOutcome outcome;
    const char* messageStart;        // empty: nothing is said
    const char* password = nullptr;  // a login is asked, in whatever call, and this typed
    const char* usbAfter = nullptr;  // the USB names once the chosen scanner is plugged in again
};

class ScannerTroubleTest : public ScannerDialogsTest,
                           public ::testing::WithParamInterface<TroubleRow> {};

TEST_P(ScannerTroubleTest, TellsTheUserKeepsAPageThatHadArrivedAndReplacesALostWorker) {
    const TroubleRow& row = GetParam();
    // USB scanners are named after their bus and device number, as the fault device after a file.
    const QString usb = folder.filePath("usb");
    putFile(usb, "libusb:001:004\n");
    QString faults = QString::fromUtf8(row.faults).replace("%once", folder.filePath("once"));
    misbehave(faults.replace("%usb", usb).toUtf8());
    choose(row.usbAfter ? "ornavexfault:libusb:001:004" : "ornavexfault:0");
    if (row.usbAfter) putFile(usb, row.usbAfter);
    QString asked;
    logInWhenAsked(row.password ? row.password : "", asked);
    clipboard.setImage(QImage());
    EXPECT_EQ(acquire().outcome, row.outcome);
    // The device the login was asked for, none where no login is due.
    EXPECT_EQ(asked.section("„", 1).section("“", 0, 0), row.password ? "ornavexfault:0" : "");
    const bool kept = row.outcome == AcquireOutcome::NewPageScannerLost;
    const bool page = kept || row.outcome == AcquireOutcome::NewPage;
    EXPECT_EQ(clipboard.image().size(), page ? QSize(200, 300) : QSize(0, 0));
    const QString said = messages.shown().empty() ? QString("") : messages.shown().front().text;
    EXPECT_EQ(messages.shown().size(), *row.messageStart ? 1u : 0u) << said.toStdString();
    EXPECT_TRUE(said.startsWith(row.messageStart)) << said.toStdString();
    EXPECT_EQ(said.contains("bleibt erhalten"), kept);
    // Taken without a word when exactly one device of the same driver, vendor and model is there.
    if (row.usbAfter && page) {
        EXPECT_EQ(ReadIniValue(settings, "Default", "Scanner"),
                  "ornavexfault:libusb:001:005\tOrnavex\tStörgerät");
    }
    if (kept || row.outcome == AcquireOutcome::ScannerLost) {
        useFaultBackend("");
        EXPECT_EQ(acquire().outcome, AcquireOutcome::NewPage) << "with a fresh worker";
    }
}

// A network scanner whose open fails for its connection, or whose driver dies opening it, is
// opened once more by a fresh worker before anything is said.
const TroubleRow kTroubleRows[] = {
    {"StartFails", "start=fail", Failed, kBroken},
    {"OpenHangs", "open=hang", ScannerLost, kHung},
    {"ReadHangs", "read=hang-midway", ScannerLost, kHung},
    {"ReadCrash", "read=crash-midway", ScannerLost, kCrashed},
    {"CancelHangAfterPage", "cancel=hang", NewPageScannerLost, kHung},
    {"CloseHangAfterPage", "close=hang", NewPageScannerLost, kHung},
    {"NetworkScannerFails", "get_devices=network,read=fail", Failed,
     "Die Verbindung zum Scanner ist gestört.\nBitte prüfen Sie die Netzwerkverbindung"},
    {"NetworkOpenFailsOnce", "get_devices=network,open=fail-once:%once", NewPage, ""},
    {"NetworkDriverDiesOnceOpening", "get_devices=network,open=crash-once:%once", NewPage, ""},
    {"NetworkOpenFailsAgain", "get_devices=network,open=fail", Failed,
     "Der Scanner „Ornavex Störgerät“ kann nicht geöffnet werden.\nDie Verbindung zum Scanner ist "
     "gestört.\nBitte prüfen Sie die Netzwerkverbindung"},
    {"NetworkDriverDiesAgainOpening", "get_devices=network,open=crash", ScannerLost, kCrashed},
    // Network backends ask for a login in other calls than the open too.
    {"LoginInTheOpen", "open=auth", NewPage, "", "geheim"},
    {"LoginInThePagesStart", "start=auth", NewPage, "", "geheim"},
    {"LoginInAnOption", "option=auth", NewPage, "", "geheim"},
    {"LoginDeclined", "open=auth", Cancelled, "", ""},
    {"LoginOfGarbageFromAServerGone", "start=auth-garbled", Failed, kBroken},
    {"WrongPassword", "open=auth", Failed,
     "Der Scanner „Ornavex Störgerät“ kann nicht geöffnet werden.\nDer Zugriff auf den Scanner "
     "wurde verweigert.",
     "falsch"},
    {"UsbPluggedInAgain", "usb=%usb", NewPage, "", nullptr, "libusb:001:005\n"},
    {"UsbPluggedInAgainTwice", "usb=%usb", Failed, kUnplugged, nullptr,
     "libusb:001:005\nlibusb:001:006\n"},
    {"UsbUnplugged", "usb=%usb", Failed, kUnplugged, nullptr, ""}};
INSTANTIATE_TEST_SUITE_P(Rows, ScannerTroubleTest, ::testing::ValuesIn(kTroubleRows), byName);

// SANE's scanner server on 127.0.0.1 (which it always serves), serving the repository's test
// device. A worker started from now on reaches it through the net backend, configured in the given
// folder; the net backend knows the server's port only as the service "sane-port", which the
// preloaded shim maps to the free port taken.
class ScannerServer {
  public:
    explicit ScannerServer(const QString& clientConfig) {
        QTcpServer probe;  // a port that stays the server's across restarts
        if (probe.listen(QHostAddress::LocalHost)) port_ = probe.serverPort();
        putFile(clientConfig + "/dll.conf", "net\n");
        putFile(clientConfig + "/net.conf", "connect_timeout = 5\n127.0.0.1\n");
        qputenv("SANE_CONFIG_DIR", clientConfig.toUtf8());
        qputenv("LD_PRELOAD", ORNAVEX_SANE_PORT_SHIM);
        qputenv("ORNAVEX_SANE_PORT", QByteArray::number(port_));
    }
    ~ScannerServer() { stop(); }

    // Empty once listening; else why not.
    QString start() {
        const QString saned =
            QStandardPaths::findExecutable("saned", {"/usr/sbin", "/sbin", "/usr/bin"});
        if (saned.isEmpty()) return "saned is not installed";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
        environment.remove("LD_PRELOAD");
        process_.setProcessEnvironment(environment);
        // A group of its own: a restart ends the server's children too, and with them the
        // connections they serve.
        process_.setChildProcessModifier([] { ::setpgid(0, 0); });
        process_.start(saned,
                       {"-l", "-e", "-d", "0", "-b", "127.0.0.1", "-p", QString::number(port_)});
        if (!process_.waitForStarted(5000)) return "saned does not start";
        const bool listening = waitUntil(
            [&] {
                if (process_.state() != QProcess::Running) return true;
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port_);
                return socket.waitForConnected(200);
            },
            10000);
        if (!listening || process_.state() != QProcess::Running)
            return "saned does not listen on 127.0.0.1:" + QString::number(port_);
        return {};
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        ::kill(-pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }

  private:
    quint16 port_ = 0;
    QProcess process_;
};

TEST_F(ScannerDialogsTest, ASharedScannerWhoseServerRestartedScansTheNextPageWithoutAWord) {
    ScannerServer server(folder.path());
    const QString notStarted = server.start();
    if (!notStarted.isEmpty()) GTEST_SKIP() << notStarted.toStdString();
    library.client().stopWorker();
    choose("net:127.0.0.1:test:0");
    const auto quickPage = [](ScannerAcquireDialog& dialog) {
        pick(dialog, "aufloesung", "75 dpi");
    };
    EXPECT_EQ(acquire(quickPage).outcome, AcquireOutcome::NewPage);

    server.stop();
    const QString notRestarted = server.start();
    ASSERT_TRUE(notRestarted.isEmpty()) << notRestarted.toStdString();
    EXPECT_EQ(acquire(quickPage).outcome, AcquireOutcome::NewPage);
    EXPECT_TRUE(messages.shown().empty()) << messages.shown().front().text.toStdString();
}

// Abbrechen ends the scan without a word and keeps no page, and the next page comes, filling in as
// it is scanned.
TEST_F(ScannerDialogsTest, AbbrechenStopsARunningScanSilentlyAndTheNextPageFillsIn) {
    misbehave("read=slow");
    choose("ornavexfault:0");
    whenShown<ScannerAcquireDialog>(scope, [](ScannerAcquireDialog& dialog) {
        button(dialog, "Scannen")->click();
        QTimer::singleShot(100, &dialog, [&dialog] { button(dialog, "Abbrechen")->click(); });
    });
    EXPECT_EQ(acquireNow().outcome, AcquireOutcome::Cancelled);
    EXPECT_TRUE(messages.shown().empty());

    // A page whose end is already on its way when Abbrechen comes is given up all the same.
    clipboard.setImage(QImage());
    EXPECT_EQ(acquire([this](ScannerAcquireDialog& dialog) {
                  QTimer::singleShot(0, &dialog, [this, &dialog] {
                      auto* socketTurn = library.client().findChild<QSocketNotifier*>();
                      socketTurn->setEnabled(false);
                      QThread::msleep(1500);  // the whole page is sent meanwhile
                      button(dialog, "Abbrechen")->click();
                      socketTurn->setEnabled(true);
                  });
              }).outcome,
              AcquireOutcome::Cancelled);
    EXPECT_TRUE(clipboard.image().isNull());

    bool grewWhileScanning = false;
    EXPECT_EQ(acquire([&](ScannerAcquireDialog& dialog) {
                  auto* preview = dialog.findChild<QLabel*>("vorschau");
                  auto* progress = dialog.findChild<QProgressBar*>();
                  auto* watch = new QTimer(&dialog);
                  QObject::connect(watch, &QTimer::timeout, &dialog, [&, preview, progress] {
                      const int value = progress->value();
                      if (value > 0 && value < 1000 && !preview->pixmap().isNull())
                          grewWhileScanning = true;
                  });
                  watch->start(10);
              }).outcome,
              AcquireOutcome::NewPage);
    EXPECT_TRUE(grewWhileScanning);
    EXPECT_EQ(clipboard.image().size(), QSize(200, 300));
}

// Every page the dialog can ask for must open again in this program; between two equally near
// resolutions the lower one is taken. The page size a device tells counts from its area's origin.
TEST_F(ScannerDialogsTest, OffersOnlyResolutionsThatOpenAgainAndTheAreaFromItsOrigin) {
    SaneOptionInfo resolution;
    resolution.name = "resolution";
    resolution.type = SaneOptionType::Int;
    resolution.constraint = SaneConstraint::WordList;
    resolution.words = {300, 600, 1200, 2400, 4800};
    resolution.active = resolution.settable = true;
    SaneOptionInfo left = resolution;
    left.name = "tl-x";
    left.constraint = SaneConstraint::Range;
    left.minimum = 10;
    left.maximum = 230;
    SaneOptionInfo right = left;
    right.name = "br-x";
    right.hasValue = true;
    right.number = 220;
    for (const auto& [asked, taken] : {std::pair(2400, 1200), std::pair(450, 300)}) {
        ScanSettings settings;
        settings.dpi = asked;
        ScannerAcquireDialog dialog(library.client(), {resolution, left, right}, settings, messages,
                                    "Gerät", &owner);
        auto* offered = dialog.findChild<QComboBox*>("aufloesung");
        ASSERT_TRUE(offered);
        QList<int> values;
        for (int i = 0; i < offered->count(); ++i) values << offered->itemData(i).toInt();
        EXPECT_EQ(values, QList<int>({300, 600, 1200}));
        EXPECT_EQ(offered->currentData().toInt(), taken) << asked;
        EXPECT_EQ(dialog.findChild<QDoubleSpinBox*>("breite")->value(), 210);
    }
}

}  // namespace
}  // namespace ornavex::test
