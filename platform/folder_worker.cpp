#include "platform/folder_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "platform/folder_worker_protocol.h"
#include "platform/local_document_folder.h"
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
                reply.status = qint32(removeIfStillSame(request.path, request.identity));
                break;
            default:
                return;
        }
        sendFolderMessage(socket_, reply);
    }

  private:
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
        const PageWriteResult result =
            picture.isNull()
                ? PageWriteResult{PageWriteStatus::NoPicture, 0}
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
        reply.memoryFile = pageMemory(loaded.page);
        reply.layout = layoutOf(loaded.page.picture());
        // The window could not take a page without its memory.
        if (!reply.memoryFile.valid()) reply.status = qint32(PictureLoadStatus::TooLarge);
    }

    // Yes: removed; No: nothing of ours under the name any more; NoAnswer: could not tell.
    static FolderAnswer removeIfStillSame(const QString& path, const FileIdentity& identity) {
        const QByteArray name = bytesOfPath(path);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0) {
            return errno == ENOENT || errno == ENOTDIR ? FolderAnswer::No : FolderAnswer::NoAnswer;
        }
        if (!S_ISREG(info.st_mode) || fileIdentityOf(info) != identity) {
            return FolderAnswer::No;
        }
        if (::unlink(name.constData()) == 0 || errno == ENOENT) return FolderAnswer::Yes;
        return FolderAnswer::NoAnswer;
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
            case FolderReceive::Message:
                worker.serve(request);
                break;
            case FolderReceive::NothingYet:
                break;
            case FolderReceive::Closed:
            case FolderReceive::Broken:
                return 0;
        }
    }
}

}  // namespace ornavex
