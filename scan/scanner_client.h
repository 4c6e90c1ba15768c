#pragma once

#include <sys/types.h>

#include <QImage>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include "platform/owned_fd.h"
#include "scan/service/scanner_protocol.h"
#include "worker/worker_connection.h"

namespace ornavex {

// How long the worker may take before the window gives up on it.
struct ScannerDeadlines {
    std::chrono::milliseconds search{60000};      // network discovery can be slow
    std::chrono::milliseconds open{30000};        // not counting the user typing a password
    std::chrono::milliseconds silentScan{60000};  // no data while a page is scanned (lamp warm-up)
    std::chrono::milliseconds finish{3000};       // the page's cancel, closing the device
};

// The window's side of the scanner service. Requests return at once; results
// come as signals from the event loop. Every request has a deadline: a worker
// that misses one, or that dies, is killed and reported through workerLost,
// and the next request starts a fresh one. Nothing here ever waits.
class ScannerClient : public QObject {
    Q_OBJECT
  public:
    enum class State { Stopped, Idle, Searching, Opening, Ready, Scanning, Finishing, Closing };

    explicit ScannerClient(WorkerCommand command = thisProgramInMode("--scanner-worker"),
                           ScannerDeadlines deadlines = {}, QObject* parent = nullptr);
    ~ScannerClient() override;

    State state() const;
    pid_t workerPid() const { return worker_.pid(); }

    void searchDevices();
    void openDevice(const QString& name);
    void scan(const ScanRequest& request);
    void cancelScan();
    void closeDevice();
    // An empty user and password decline.
    void answerLogin(const QString& user, const QString& password);
    // Ends the worker without a report, e.g. when nobody waits for its search any more.
    void stopWorker();

    // The rows of the page being scanned, as far as they have arrived: a view
    // to use at once, before the next event may replace the memory under it.
    QImage pageSoFar() const;
    // The size of the page being scanned, rows still to come included.
    QSize pageSize() const { return {pageLayout_.width, pageLayout_.height}; }
    // While pageEnded is emitted: a new descriptor of the memory file that holds
    // the page's rows, so the page can go on to another process without a copy.
    OwnedFd endedPageMemory() const;

  signals:
    void workerReady();
    void devicesFound(ornavex::DeviceStatus status,
                      const std::vector<ornavex::SaneDeviceInfo>& devices);
    void deviceOpened(ornavex::DeviceStatus status,
                      const std::vector<ornavex::SaneOptionInfo>& options);
    void scanProgressed(int permille, int lines);
    // Null page unless the status is Good; the page carries its resolution.
    void pageEnded(ornavex::DeviceStatus status, const QImage& page);
    void scanEnded();
    void deviceClosed();
    void loginRequested(const QString& resource);
    void workerLost(ornavex::WorkerLoss loss);

  private:
    struct Pending {
        MessageType awaited;
        quint32 id;  // of the request the reply answers
        std::chrono::milliseconds deadline;
    };

    bool ensureWorker();
    bool request(ScannerMessage message, MessageType awaited, std::chrono::milliseconds deadline);
    void expect(MessageType awaited, quint32 id, std::chrono::milliseconds deadline);
    bool send(const ScannerMessage& message);
    void armDeadline();
    void deadlineMissed();
    ReceiveOutcome readOne();
    void handle(ScannerMessage& message);
    bool answers(const ScannerMessage& reply) const;
    void satisfied();
    void askForLogin(const QString& resource);
    void declineLogin();
    void acceptPageBuffer(ScannerMessage& message);
    QImage finishedPage(int lines, double dpi) const;
    void lose(WorkerLoss loss);
    void endWorker(bool kill);

    ScannerDeadlines deadlines_;
    WorkerConnection worker_;  // a child, so a test can find its socket's notifier
    MessageReader reader_;
    QTimer deadline_;
    quint64 deadlineArmings_ = 0;
    std::deque<Pending> pending_;
    bool deviceOpen_ = false;
    bool waitingForLogin_ = false;
    std::optional<std::chrono::milliseconds>
        pausedDeadline_;  // what was left when a login was asked
    quint32 nextId_ = 1;
    quint32 scanId_ = 0;
    OwnedFd pageFile_;
    OwnedFd endedPageFile_;
    PictureLayout pageLayout_;
    QImage pageRows_;
    int pageLines_ = 0;
};

}  // namespace ornavex
