#pragma once

#include <QString>
#include <optional>

#include "folder/page_file.h"
#include "page/page.h"
#include "page/page_memory.h"
#include "platform/owned_fd.h"
#include "worker/worker_process.h"

namespace ornavex {

// The messages between the window and the folder worker. One message is one
// datagram on a SOCK_SEQPACKET socket pair; a page's memory file travels beside it.
enum class FolderMessageType : quint8 {
    // window to worker
    FileExists,
    PathExists,
    WritePage,
    Load,
    RemoveIfStillSame,  // a write given up that may have got its name after all
    // worker to window
    Alive,       // a step answered: the silence starts again
    Committing,  // the page is about to get its name, as `identity`
    Answer,      // the reply to FileExists, PathExists and RemoveIfStillSame
    Written,
    Loaded,
};

struct FolderMessage {
    FolderMessageType type = FolderMessageType::FileExists;
    quint32 id = 0;  // the request a reply belongs to
    QString path;
    qint32 format = 0;  // PageFormat
    qint32 jpegQuality = 0;
    qint32 policy = 0;  // ReplacePolicy
    qint32 status = 0;  // FolderAnswer, PageWriteStatus or PictureLoadStatus
    qint32 systemError = 0;
    FileIdentity identity;
    PictureLayout layout;
    OwnedFd memoryFile;  // WritePage and Loaded
};

// The kind of reply that answers a request.
FolderMessageType replyTypeFor(FolderMessageType request);

// The bytes of a message, and the message from them: false for a message
// longer than its kind may be, a count beyond what its kind carries, or a
// value outside its enum. The memory file does not travel in the bytes.
QByteArray encodeFolderMessage(const FolderMessage& message);
bool decodeFolderMessage(const QByteArray& bytes, FolderMessage& message);

// Sends without waiting; false when the peer is gone or not reading.
bool sendFolderMessage(int socket, const FolderMessage& message);

// With wait false, returns NothingYet at once when no message is queued.
ReceiveOutcome receiveFolderMessage(int socket, FolderMessage& message, bool wait);

}  // namespace ornavex
