#include "platform/page_encodings.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/bmp_writer.h"

namespace ornavex {
namespace {

struct Mapping {
    Mapping(void* address, size_t size) : address(address), size(size) {}
    ~Mapping() { ::munmap(address, size); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    void* address;
    size_t size;
};

// Bytes that stay where they lie, with a header of Qt's own that counts their
// holders, so that the memory is let go only once no transfer holds them.
// Whoever changes them detaches first, as PageEncodings holds them too.
QByteArray sharedBytesAt(const char* data, qsizetype size) {
    auto [header, unused] = QTypedArrayData<char>::allocate(1);
    if (header == nullptr) return {};
    return QByteArray(QByteArray::DataPointer(header, const_cast<char*>(data), size));
}

}  // namespace

QByteArray PageEncodings::get(const QString& mimeType) {
    auto encoding = encodings_.find(mimeType);
    if (encoding == encodings_.end()) encoding = encodings_.insert(mimeType, encoder_(mimeType));
    return encoding->bytes;
}

void PageEncodings::dropUnused() {
    encodings_.removeIf([](const auto& encoding) {
        const QByteArray& bytes = encoding.value().bytes;
        return bytes.isNull() || bytes.isDetached();
    });
}

PageEncodings::Encoding bitmapOverRows(const QImage& picture, int rowsFile) {
    const QByteArray headers = bmpHeadersBefore(picture);
    const auto rowsBytes = size_t(picture.sizeInBytes());
    const auto room = size_t(::sysconf(_SC_PAGESIZE));
    struct stat info {};
    if (headers.isEmpty() || size_t(headers.size()) > room || rowsFile < 0 ||
        ::fstat(rowsFile, &info) != 0 || info.st_size < off_t(rowsBytes)) {
        return {};
    }
    // The headers at the end of a memory page of their own, the rows right after.
    void* area = ::mmap(nullptr, room + rowsBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) return {};
    auto mapping = std::make_shared<const Mapping>(area, room + rowsBytes);
    char* rows = static_cast<char*>(area) + room;
    if (::mmap(rows, rowsBytes, PROT_READ, MAP_PRIVATE | MAP_FIXED, rowsFile, 0) == MAP_FAILED) {
        return {};
    }
    char* start = rows - headers.size();
    std::memcpy(start, headers.constData(), size_t(headers.size()));
    ::mprotect(area, room, PROT_READ);
    return {sharedBytesAt(start, headers.size() + qsizetype(rowsBytes)), std::move(mapping)};
}

}  // namespace ornavex
