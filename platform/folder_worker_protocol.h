#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <optional>

#include "platform/owned_fd.h"
#include "platform/page.h"
#include "platform/page_file.h"

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

// How a picture's rows lie in its memory file.
struct PageLayout {
    qint32 width = 0;
    qint32 height = 0;
    qint32 bytesPerLine = 0;
    qint32 format = QImage::Format_Invalid;
    QList<QRgb> colours;
    qint32 dotsPerMetreX = 0;
    qint32 dotsPerMetreY = 0;

    qint64 bytes() const { return qint64(height) * bytesPerLine; }
};

PageLayout layoutOf(const QImage& picture);

// The page's rows as a picture, mapped copy-on-write from its memory file;
// null when the file is smaller than the layout claims.
QImage mapPage(int memoryFile, const PageLayout& layout);

// A page whose rows lie in a memory file: its own, or a copy made here.
OwnedFd pageMemory(const Page& page);

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
    PageLayout layout;
    OwnedFd memoryFile;  // WritePage and Loaded
};

enum class FolderReceive { Message, NothingYet, Closed, Broken };

bool makeFolderSocketPair(OwnedFd& first, OwnedFd& second);

// Sends without waiting; false when the peer is gone or not reading.
bool sendFolderMessage(int socket, const FolderMessage& message);

// With wait false, returns NothingYet at once when no message is queued.
FolderReceive receiveFolderMessage(int socket, FolderMessage& message, bool wait);

}  // namespace ornavex
