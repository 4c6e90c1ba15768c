// A folder worker gone wrong, for the window's checks of its replies:
//   wrong-kind     answers every request with a reply of the kind Answer, "Yes";
//   unsealed-page  answers a load with a page in memory that is not sealed.
#include <sys/mman.h>

#include "folder/document_folder.h"
#include "folder/folder_worker_protocol.h"

namespace {

using namespace ornavex;

FolderMessage unsealedPage(quint32 id) {
    QImage page(8, 8, QImage::Format_Grayscale8);
    page.fill(128);
    FolderMessage reply;
    reply.type = FolderMessageType::Loaded;
    reply.id = id;
    reply.status = qint32(PictureLoadStatus::Loaded);
    reply.layout = {page.width(), page.height(), int(page.bytesPerLine()), page.format(), {}, 0, 0};
    reply.memoryFile.reset(::memfd_create("fake-page", MFD_CLOEXEC));
    if (::write(reply.memoryFile.get(), page.constBits(), size_t(page.sizeInBytes())) < 0) {
        reply.memoryFile.reset();
    }
    return reply;
}

}  // namespace

int main(int argc, char** argv) {
    const bool wrongKind = argc == 2 && std::strcmp(argv[1], "wrong-kind") == 0;
    for (;;) {
        FolderMessage request;
        if (receiveFolderMessage(kWorkerSocketDescriptor, request, true) !=
            ReceiveOutcome::Message) {
            return 0;
        }
        FolderMessage reply;
        if (wrongKind || request.type != FolderMessageType::Load) {
            reply.type = FolderMessageType::Answer;
            reply.id = request.id;
            reply.status = qint32(FolderAnswer::Yes);
        } else {
            reply = unsealedPage(request.id);
        }
        sendFolderMessage(kWorkerSocketDescriptor, reply);
    }
}
