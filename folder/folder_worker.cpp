#include "folder/folder_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "folder/folder_worker_protocol.h"
#include "folder/local_document_folder.h"
#include "folder/undo_write.h"
#include "platform/path_bytes.h"

namespace ornavex {
namespace {

using Clock = std::chrono::steady_clock;

// Often enough for any silence deadline the window keeps, rarely enough that
// reading a picture in small pieces does not flood the socket.
constexpr std::chrono::milliseconds kAliveInterval{100};

class Worker {
  public:
    explicit Worker(int socket) : socket_(socket) {}

    void serve(FolderMessage& request) {
        requestId_ = request.id;
        FolderMessage reply;
        reply.id = request.id;
        // No system call sees past a NUL: the name would be another one.
        if (request.path.contains(QChar(0))) {
            refuseName(request.type, reply);
            sendFolderMessage(socket_, reply);
            return;
        }
        switch (request.type) {
            case FolderMessageType::FileExists:
                reply.type = FolderMessageType::Answer;
                reply.status = qint32(folder_.fileExists(request.path));
                break;
            case FolderMessageType::PathExists:
                reply.type = FolderMessageType::Answer;
                reply.status = qint32(folder_.pathExists(request.path));
                break;
            case FolderMessageType::WritePage:
                write(request, reply);
                break;
            case FolderMessageType::Load:
                load(request.path, reply);
                break;
            case FolderMessageType::RemoveIfStillSame:
                reply.type = FolderMessageType::Answer;
                reply.status =
                    qint32(removeIfStillSame(bytesOfPath(request.path), request.identity));
                break;
            default:
                return;
        }
        sendFolderMessage(socket_, reply);
    }

  private:
    // The answer each request gets for a name no file can have.
    static void refuseName(FolderMessageType request, FolderMessage& reply) {
        reply.type = replyTypeFor(request);
        switch (request) {
            case FolderMessageType::WritePage:
                reply.status = qint32(PageWriteStatus::WriteFailed);
                reply.systemError = EINVAL;
                break;
            case FolderMessageType::Load:
                reply.status = qint32(PictureLoadStatus::Missing);
                break;
            default:
                reply.status = qint32(FolderAnswer::No);
                break;
        }
    }

    void alive() {
        const Clock::time_point now = Clock::now();
        if (now - lastAlive_ < kAliveInterval) return;
        lastAlive_ = now;
        FolderMessage message;
        message.type = FolderMessageType::Alive;
        message.id = requestId_;
        sendFolderMessage(socket_, message);
    }

    void committing(const FileIdentity& identity) {
        FolderMessage message;
        message.type = FolderMessageType::Committing;
        message.id = requestId_;
        message.identity = identity;
        sendFolderMessage(socket_, message);
    }

    void write(const FolderMessage& request, FolderMessage& reply) {
        reply.type = FolderMessageType::Written;
        const QImage picture = request.memoryFile.valid()
                                   ? mapPage(request.memoryFile.get(), request.layout)
                                   : QImage();
        // A page in any other layout or memory is refused as by a worker that failed.
        const PageWriteResult result =
            picture.isNull()
                ? PageWriteResult{PageWriteStatus::WriteFailed, EIO}
                : folder_.writePage(Page(picture), request.path, PageFormat(request.format),
                                    request.jpegQuality, ReplacePolicy(request.policy));
        reply.status = qint32(result.status);
        reply.systemError = result.systemError;
    }

    void load(const QString& path, FolderMessage& reply) {
        reply.type = FolderMessageType::Loaded;
        LoadedPage loaded = folder_.load(path);
        reply.status = qint32(loaded.status);
        if (!loaded.loaded()) return;
        reply.layout = layoutOf(loaded.page.picture());
        reply.memoryFile = takePageMemory(std::move(loaded.page));
        // The window could not take a page without its memory.
        if (!reply.memoryFile.valid()) reply.status = qint32(PictureLoadStatus::TooLarge);
    }

    int socket_;
    quint32 requestId_ = 0;
    Clock::time_point lastAlive_;
    LocalDocumentFolder folder_{
        {[this] { alive(); }, [this](const FileIdentity& identity) { committing(identity); }}};
};

}  // namespace

int runFolderWorker(int socketFd) {
    const OwnedFd socket(socketFd);
    // A window that went away must not end this process by a write on the socket.
    std::signal(SIGPIPE, SIG_IGN);
    Worker worker(socket.get());
    for (;;) {
        FolderMessage request;
        switch (receiveFolderMessage(socket.get(), request, true)) {
            case ReceiveOutcome::Message:
                worker.serve(request);
                break;
            case ReceiveOutcome::NothingYet:
                break;
            case ReceiveOutcome::Closed:
            case ReceiveOutcome::Broken:
                return 0;
        }
    }
}

}  // namespace ornavex
