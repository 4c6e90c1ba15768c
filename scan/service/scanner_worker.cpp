#include "scan/service/scanner_worker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>

#include <QLoggingCategory>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>

#include "scan/service/frame_assembler.h"
#include "scan/service/sane_device.h"
#include "scan/service/sane_session.h"
#include "scan/service/scanner_protocol.h"

namespace ornavex {
namespace {

Q_LOGGING_CATEGORY(lcWorker, "ornavex.scan.worker", QtCriticalMsg)

// SANE's limit for user names and passwords, the terminating zero included.
constexpr std::size_t kMaxCredential = 128;
constexpr std::chrono::milliseconds kProgressInterval{20};

class ScannerWorker {
  public:
    explicit ScannerWorker(int socket) : socket_(socket), reader_(socket) { current = this; }
    ~ScannerWorker() { current = nullptr; }

    int run() {
        session_ = std::make_unique<SaneSession>(&ScannerWorker::authorize);
        reply({MessageType::Ready});
        ScannerMessage message;
        while (!windowGone_ && next(message)) handle(message);
        device_.reset();
        session_.reset();
        return 0;
    }

  private:
    static void authorize(const char* resource, char* username, char* password) {
        if (current) current->askForLogin(resource, username, password);
    }

    // Waits while the window is busy; only a window that is gone ends the worker.
    void reply(const ScannerMessage& message) {
        if (windowGone_) return;
        if (sendMessage(socket_, message, awaitRoomToSend) != SendResult::Sent) windowGone_ = true;
    }

    // Progress a busy window has no room for is dropped: the next one says more.
    void tell(const ScannerMessage& progress) {
        if (windowGone_) return;
        if (sendMessage(socket_, progress) == SendResult::PeerGone) {
            windowGone_ = true;
        }
    }

    bool next(ScannerMessage& message) {
        if (!backlog_.empty()) {
            message = std::move(backlog_.front());
            backlog_.pop_front();
            return true;
        }
        return reader_.receive(message, true) == ReceiveOutcome::Message;
    }

    void handle(ScannerMessage& message) {
        requestId_ = message.id;
        switch (message.type) {
            case MessageType::Search:
                search(message.id);
                break;
            case MessageType::Open:
                open(message.id, message.text);
                break;
            case MessageType::Scan:
                scan(message.id, message.request);
                break;
            case MessageType::Close:
                close(message.id);
                break;
            default:
                break;  // a cancel for a page that already ended, a stray answer
        }
    }

    void search(quint32 id) {
        const SaneDeviceList list = session_->listDevices();
        ScannerMessage answer{MessageType::Devices, id, list.status};
        answer.devices = list.devices;
        reply(answer);
    }

    void open(quint32 id, const QString& name) {
        device_.reset();
        SaneSession::Opened opened = session_->open(name);
        device_ = std::move(opened.device);
        ScannerMessage answer{MessageType::Opened, id, opened.status};
        if (device_) answer.options = device_->options();
        reply(answer);
    }

    void close(quint32 id) {
        device_.reset();
        reply({MessageType::Closed, id});
    }

    void scan(quint32 id, const ScanRequest& request) {
        if (!device_) {
            reply({MessageType::PageEnded, id, DeviceStatus::Invalid});
            reply({MessageType::ScanEnded, id});
            return;
        }
        cancelled_ = false;
        const DeviceStatus applied = device_->apply(request);
        if (applied != DeviceStatus::Good) {
            reply({MessageType::PageEnded, id, applied});
            reply({MessageType::ScanEnded, id});
            return;
        }
        FrameAssembler assembler([this, id](int width, int height, QImage::Format format) {
            return sharePage(id, QSize(width, height), format);
        });
        PageCallbacks callbacks;
        std::chrono::steady_clock::time_point lastProgress;
        callbacks.progress = [this, id, &lastProgress](int permille, int lines) {
            // Often enough for a bar and a growing picture, rarely enough to cost nothing.
            const auto now = std::chrono::steady_clock::now();
            if (permille >= 0 && permille < 1000 && now - lastProgress < kProgressInterval) return;
            lastProgress = now;
            ScannerMessage progress{MessageType::Progress, id};
            progress.permille = permille;
            progress.lines = lines;
            tell(progress);
        };
        callbacks.cancelRequested = [this, id] { return cancelRequested(id); };
        callbacks.ended = [this, id, &assembler](const PageOutcome& outcome) {
            // The worker lets go of the rows and seals them: the window's page stays as sent.
            assembler.release();
            DeviceStatus status = outcome.status;
            if (pageFile_.valid() && !sealPageMemory(pageFile_.get()) &&
                status == DeviceStatus::Good) {
                qCWarning(lcWorker) << "the page's memory cannot be sealed";
                status = DeviceStatus::Failed;
            }
            pageFile_.reset();
            ScannerMessage ended{MessageType::PageEnded, id, status};
            ended.lines = outcome.lines;
            ended.dpi = outcome.dpi;
            reply(ended);
        };
        device_->scanPage(assembler, request.dpi, callbacks);
        reply({MessageType::ScanEnded, id});
    }

    QImage sharePage(quint32 id, QSize size, QImage::Format format) {
        OwnedFd memoryFile;
        QImage rows = allocateSharedPicture(size, format, memoryFile);
        if (rows.isNull()) {
            qCWarning(lcWorker) << "no shared memory for a page of" << size << "pixels";
            return {};
        }
        // Kept to seal the rows once the page is complete.
        pageFile_.reset(::fcntl(memoryFile.get(), F_DUPFD_CLOEXEC, 0));
        ScannerMessage buffer{MessageType::PageBuffer, id};
        buffer.layout = {
            rows.width(), rows.height(), qint32(rows.bytesPerLine()), format, {}, 0, 0};
        buffer.memoryFile = std::move(memoryFile);
        reply(buffer);
        return rows;
    }

    // Looks at what the window sent meanwhile, without waiting for more.
    bool cancelRequested(quint32 scanId) {
        for (;;) {
            ScannerMessage message;
            const ReceiveOutcome result = reader_.receive(message, false);
            if (result == ReceiveOutcome::NothingYet) break;
            if (result != ReceiveOutcome::Message) {
                windowGone_ = true;
                break;
            }
            if (message.type == MessageType::Cancel) {
                if (message.id == scanId) cancelled_ = true;
            } else {
                backlog_.push_back(std::move(message));
            }
        }
        return cancelled_ || windowGone_;
    }

    void askForLogin(const char* resource, char* username, char* password) {
        username[0] = '\0';
        password[0] = '\0';
        // SANE's net backend, its server gone, asks for a resource it never received: garbage
        // bytes. Nobody is there to log in to; the call fails by itself.
        if (!isReadableResource(resource)) return;
        // Asked in any call: the open, an option, the start of a page.
        ScannerMessage question{MessageType::AuthQuestion, requestId_};
        question.text = QString::fromUtf8(resource ? resource : "");
        reply(question);
        for (;;) {
            if (windowGone_) return;
            ScannerMessage message;
            if (reader_.receive(message, true) != ReceiveOutcome::Message) {
                windowGone_ = true;
                return;
            }
            if (message.type == MessageType::Cancel) {
                // The page the login is for: the window declines the login as well.
                if (message.id == requestId_) cancelled_ = true;
                continue;
            }
            if (message.type != MessageType::AuthAnswer) {
                backlog_.push_back(std::move(message));
                continue;
            }
            copyCredential(message.text, username);
            copyCredential(message.secret, password);
            return;
        }
    }

    static bool isReadableResource(const char* resource) {
        if (!resource || !*resource) return false;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(QByteArrayView(resource));
        if (utf8.hasError()) return false;
        return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.isNonCharacter() || c.category() == QChar::Other_Control;
        });
    }

    static void copyCredential(const QString& value, char* target) {
        const QByteArray bytes = value.toUtf8();
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), kMaxCredential - 1);
        std::memcpy(target, bytes.constData(), length);
        target[length] = '\0';
    }

    static inline ScannerWorker* current = nullptr;
    int socket_;
    MessageReader reader_;
    quint32 requestId_ = 0;
    std::unique_ptr<SaneSession> session_;
    std::unique_ptr<SaneDevice> device_;
    std::deque<ScannerMessage> backlog_;
    OwnedFd pageFile_;
    bool cancelled_ = false;
    bool windowGone_ = false;
};

}  // namespace

bool awaitRoomToSend(int socket) {
    pollfd room{socket, POLLOUT, 0};
    if (::poll(&room, 1, -1) < 0 && errno != EINTR) return false;
    return !(room.revents & (POLLHUP | POLLERR | POLLNVAL));
}

int runScannerWorker(int socket) {
    // Started by hand, there is no window at the other end.
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_SEQPACKET) {
        return 2;
    }
    // Started through /proc/self/exe it would be listed as "exe".
    ::prctl(PR_SET_NAME, "ornavex-scanner");
    return ScannerWorker(socket).run();
}

}  // namespace ornavex
