#include "scan/scanner_client.h"

#include <fcntl.h>

#include <QLoggingCategory>
#include <cmath>

#include "scan/service/scanner_worker.h"

namespace ornavex {
namespace {

Q_LOGGING_CATEGORY(lcClient, "ornavex.scan.client", QtCriticalMsg)

constexpr double kMetresPerInch = 0.0254;

// A page's memory file must keep its size, or reading it would crash the window.
bool hasFixedSize(int memoryFile) {
    const int seals = ::fcntl(memoryFile, F_GET_SEALS);
    return seals >= 0 && (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) == (F_SEAL_SHRINK | F_SEAL_GROW);
}

bool isWriteSealed(int memoryFile) {
    const int seals = ::fcntl(memoryFile, F_GET_SEALS);
    return seals >= 0 && (seals & F_SEAL_WRITE);
}

}  // namespace

ScannerClient::ScannerClient(WorkerCommand command, ScannerDeadlines deadlines, QObject* parent)
    : QObject(parent),
      deadlines_(deadlines),
      worker_(
          std::move(command), [this](int) { return readOne(); }, this) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &ScannerClient::deadlineMissed);
    connect(&worker_, &WorkerConnection::lost, this, [this] {
        qCWarning(lcClient) << "the scanner worker went away";
        lose(WorkerLoss::Crashed);
    });
}

ScannerClient::~ScannerClient() {
    // A worker in the middle of a request may be stuck in a driver: don't wait for it.
    endWorker(!pending_.empty());
}

ScannerClient::State ScannerClient::state() const {
    if (!worker_.running()) return State::Stopped;
    if (pending_.empty()) return deviceOpen_ ? State::Ready : State::Idle;
    switch (pending_.front().awaited) {
        case MessageType::Devices:
            return State::Searching;
        case MessageType::Opened:
            return State::Opening;
        case MessageType::PageEnded:
            return State::Scanning;
        case MessageType::ScanEnded:
            return State::Finishing;
        default:
            return State::Closing;
    }
}

bool ScannerClient::ensureWorker() {
    if (worker_.running()) return true;
    if (!worker_.start()) {
        qCWarning(lcClient) << "cannot start the scanner worker";
        return false;
    }
    reader_ = MessageReader(worker_.socket());
    return true;
}

bool ScannerClient::request(ScannerMessage message, MessageType awaited,
                            std::chrono::milliseconds deadline) {
    if (!ensureWorker()) {
        // Reported like a worker that died at once, so callers have one road.
        QTimer::singleShot(0, this, [this] { emit workerLost(WorkerLoss::Crashed); });
        return false;
    }
    if (message.id == 0) message.id = nextId_++;
    if (!send(message)) return false;
    expect(awaited, message.id, deadline);
    return true;
}

// Reported from the event loop, so a caller never sees a signal before its call returns.
bool ScannerClient::send(const ScannerMessage& message) {
    const SendResult sent = sendMessage(worker_.socket(), message);
    if (sent == SendResult::Sent) return true;
    const WorkerLoss loss = sent == SendResult::Full ? WorkerLoss::Hung : WorkerLoss::Crashed;
    QTimer::singleShot(0, this, [this, worker = worker_.pid(), loss] {
        if (worker_.pid() == worker) lose(loss);
    });
    return false;
}

void ScannerClient::expect(MessageType awaited, quint32 id, std::chrono::milliseconds deadline) {
    pending_.push_back({awaited, id, deadline});
    if (pending_.size() == 1) armDeadline();
}

void ScannerClient::armDeadline() {
    ++deadlineArmings_;
    if (pending_.empty() || waitingForLogin_) {
        deadline_.stop();
        return;
    }
    deadline_.start(pending_.front().deadline);
}

void ScannerClient::deadlineMissed() {
    // What already arrived counts: a reply may wait in the socket behind a busy window.
    const quint64 armings = deadlineArmings_;
    const pid_t worker = worker_.pid();
    worker_.readQueued();
    if (worker_.pid() != worker || deadlineArmings_ != armings) return;
    qCWarning(lcClient) << "the scanner worker missed a deadline; ending it";
    lose(WorkerLoss::Hung);
}

void ScannerClient::searchDevices() {
    request({MessageType::Search}, MessageType::Devices, deadlines_.search);
}

void ScannerClient::openDevice(const QString& name) {
    ScannerMessage message{MessageType::Open};
    message.text = name;
    request(std::move(message), MessageType::Opened, deadlines_.open);
}

void ScannerClient::scan(const ScanRequest& scanRequest) {
    ScannerMessage message{MessageType::Scan, nextId_++};
    message.request = scanRequest;
    scanId_ = message.id;
    pageLines_ = 0;
    if (request(std::move(message), MessageType::PageEnded, deadlines_.silentScan)) {
        expect(MessageType::ScanEnded, scanId_, deadlines_.finish);
    }
}

void ScannerClient::cancelScan() {
    if (pending_.empty() || pending_.front().awaited != MessageType::PageEnded) return;
    if (!send({MessageType::Cancel, scanId_})) return;
    // A login the page waits for is declined: nobody wants the page any more.
    if (waitingForLogin_) declineLogin();
    // From now on the page must end soon, data or not.
    pending_.front().deadline = deadlines_.finish;
    armDeadline();
}

void ScannerClient::closeDevice() {
    if (!worker_.running() || !deviceOpen_) return;
    request({MessageType::Close}, MessageType::Closed, deadlines_.finish);
}

void ScannerClient::answerLogin(const QString& user, const QString& password) {
    if (!waitingForLogin_) return;
    waitingForLogin_ = false;
    ScannerMessage answer{MessageType::AuthAnswer};
    answer.text = user;
    answer.secret = password;
    if (!send(answer)) return;
    // The time the user took does not count; the time before the question does.
    ++deadlineArmings_;
    const std::optional<std::chrono::milliseconds> left = std::exchange(pausedDeadline_, {});
    if (pending_.empty()) {
        deadline_.stop();
    } else {
        deadline_.start(left.value_or(pending_.front().deadline));
    }
}

void ScannerClient::declineLogin() {
    answerLogin({}, {});
}

void ScannerClient::askForLogin(const QString& resource) {
    if (deadline_.isActive()) pausedDeadline_ = deadline_.remainingTimeAsDuration();
    waitingForLogin_ = true;
    armDeadline();
    // From the event loop: whoever answers may open a dialog, which must not
    // run inside this client's reading.
    QTimer::singleShot(0, this, [this, worker = worker_.pid(), resource] {
        if (worker_.pid() == worker && waitingForLogin_) emit loginRequested(resource);
    });
}

void ScannerClient::stopWorker() {
    endWorker(true);
}

QImage ScannerClient::pageSoFar() const {
    if (pageRows_.isNull() || pageLines_ <= 0) return {};
    // A view of the rows that arrived; the caller uses it before the next event.
    QImage view(pageRows_.constBits(), pageLayout_.width, pageLines_, pageLayout_.bytesPerLine,
                QImage::Format(pageLayout_.format));
    giveColours(view);
    return view;
}

ReceiveOutcome ScannerClient::readOne() {
    ScannerMessage message;
    const ReceiveOutcome result = reader_.receive(message, false);
    if (result == ReceiveOutcome::Message) handle(message);
    return result;
}

bool ScannerClient::answers(const ScannerMessage& reply) const {
    return !pending_.empty() && pending_.front().awaited == reply.type &&
           pending_.front().id == reply.id;
}

void ScannerClient::satisfied() {
    pending_.pop_front();
    armDeadline();
}

void ScannerClient::handle(ScannerMessage& message) {
    switch (message.type) {
        case MessageType::Ready:
            emit workerReady();
            return;
        case MessageType::AuthQuestion:
            if (!pending_.empty()) askForLogin(message.text);
            return;
        case MessageType::PageBuffer:
            if (message.id == scanId_) acceptPageBuffer(message);
            return;
        case MessageType::Progress:
            if (message.id != scanId_) return;
            pageLines_ = std::clamp(message.lines, 0, pageRows_.isNull() ? 0 : pageLayout_.height);
            armDeadline();  // data arrived: the silence starts again
            emit scanProgressed(message.permille, pageLines_);
            return;
        default:
            break;
    }
    // A reply to no request waited for, or to an older one, is not this one's answer.
    if (!answers(message)) return;
    satisfied();
    switch (message.type) {
        case MessageType::Devices:
            emit devicesFound(message.status, message.devices);
            break;
        case MessageType::Opened:
            deviceOpen_ = message.status == DeviceStatus::Good;
            emit deviceOpened(message.status, message.options);
            break;
        case MessageType::PageEnded: {
            QImage page;
            DeviceStatus status = message.status;
            if (status == DeviceStatus::Good) {
                // Rows the worker could still change are no finished page.
                if (pageFile_.valid() && !isWriteSealed(pageFile_.get())) {
                    qCWarning(lcClient) << "the scanner worker left its page open to writes";
                    lose(WorkerLoss::Crashed);
                    return;
                }
                page = finishedPage(message.lines, message.dpi);
                if (page.isNull()) status = DeviceStatus::NoMemory;
            }
            pageRows_ = QImage();
            endedPageFile_ = std::move(pageFile_);
            pageLines_ = 0;
            emit pageEnded(status, page);
            endedPageFile_.reset();
            break;
        }
        case MessageType::ScanEnded:
            emit scanEnded();
            break;
        case MessageType::Closed:
            deviceOpen_ = false;
            emit deviceClosed();
            break;
        default:
            break;
    }
}

OwnedFd ScannerClient::endedPageMemory() const {
    if (!endedPageFile_.valid()) return {};
    return OwnedFd(::fcntl(endedPageFile_.get(), F_DUPFD_CLOEXEC, 0));
}

void ScannerClient::acceptPageBuffer(ScannerMessage& message) {
    // Only a page this program can open again, in memory whose size is fixed.
    const bool sound = message.memoryFile.valid() && isAcceptablePageLayout(message.layout) &&
                       hasFixedSize(message.memoryFile.get());
    if (!sound) {
        qCWarning(lcClient) << "the scanner worker offered page memory the window cannot use";
        lose(WorkerLoss::Crashed);
        return;
    }
    pageFile_ = std::move(message.memoryFile);
    pageLayout_ = message.layout;
    pageRows_ = watchPage(pageFile_.get(), pageLayout_, pageLayout_.height);
    pageLines_ = 0;
    armDeadline();
}

QImage ScannerClient::finishedPage(int lines, double dpi) const {
    if (!pageFile_.valid() || lines <= 0) return {};
    QImage page = mapPage(pageFile_.get(), pageLayout_, std::min(lines, pageLayout_.height));
    if (page.isNull()) return page;
    if (dpi > 0) {
        const int dotsPerMetre = static_cast<int>(std::lround(dpi / kMetresPerInch));
        page.setDotsPerMeterX(dotsPerMetre);
        page.setDotsPerMeterY(dotsPerMetre);
    } else {
        qCWarning(lcClient) << "the scanner reports no resolution for this page";
    }
    return page;
}

void ScannerClient::lose(WorkerLoss loss) {
    if (!worker_.running()) return;
    endWorker(true);
    emit workerLost(loss);
}

void ScannerClient::endWorker(bool kill) {
    if (!worker_.running()) return;
    if (kill) worker_.kill();
    worker_.end();  // a healthy worker sees the socket close and ends by itself
    reader_ = MessageReader();
    pending_.clear();
    deadline_.stop();
    deviceOpen_ = false;
    waitingForLogin_ = false;
    pausedDeadline_.reset();
    pageRows_ = QImage();
    pageFile_.reset();
    pageLines_ = 0;
}

}  // namespace ornavex
