// A folder worker gone wrong, for the window's checks of its replies:
//   wrong-kind     answers every request with a reply of the kind Answer, "Yes";
//   unsealed-page  answers a load with a page in memory that is not sealed.
#include <sys/mman.h>

#include "folder/document_folder.h"
#include "folder/folder_worker_protocol.h"

using namespace ornavex;

int main(int argc, char** argv) {
    const bool wrongKind = argc == 2 && std::strcmp(argv[1], "wrong-kind") == 0;
    FolderMessage request;
    while (receiveFolderMessage(kWorkerSocketDescriptor, request, true) ==
           ReceiveOutcome::Message) {
        FolderMessage reply;
        reply.id = request.id;
        reply.type = FolderMessageType::Answer;
        reply.status = qint32(FolderAnswer::Yes);
        if (!wrongKind && request.type == FolderMessageType::Load) {
            QImage page(8, 8, QImage::Format_Grayscale8);
            page.fill(128);
            reply.type = FolderMessageType::Loaded;
            reply.status = qint32(PictureLoadStatus::Loaded);
            reply.layout = layoutOf(page);
            reply.memoryFile.reset(::memfd_create("fake-page", MFD_CLOEXEC));
            if (::write(reply.memoryFile.get(), page.constBits(), size_t(page.sizeInBytes())) < 0)
                reply.memoryFile.reset();
        }
        sendFolderMessage(kWorkerSocketDescriptor, reply);
    }
}
