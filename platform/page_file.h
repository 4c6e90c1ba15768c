#pragma once

#include <sys/types.h>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <string>

#include "platform/page_write.h"

namespace ornavex {

// Writes some of the bytes like write(2); tests pass one that runs out of space.
using WriteChunk = std::function<ssize_t(int fd, const char* data, size_t size)>;

ssize_t systemWriteChunk(int fd, const char* data, size_t size);

// A page on its way into the document folder: a temporary file beside the
// target that only a successful commit renames into place. Until then the
// typed name keeps whatever it held, and a file never committed is removed.
class PageFile {
  public:
    explicit PageFile(const QString& targetPath, WriteChunk writeChunk = systemWriteChunk);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // The outcome of creating the temporary file; append and commit repeat it.
    PageWriteResult state() const { return state_; }
    PageWriteResult append(QByteArrayView bytes);
    PageWriteResult commit(ReplacePolicy policy);

  private:
    void createTemporary();
    PageWriteResult fail(int error);
    PageWriteResult moveIntoPlace(ReplacePolicy policy);
    void discardTemporary();

    std::string target_;
    std::string temporary_;
    WriteChunk writeChunk_;
    int fd_ = -1;
    bool committed_ = false;
    PageWriteResult state_;
};

// The whole page in one go: written, flushed to disk and renamed into place.
PageWriteResult writePageFile(const QString& path, QByteArrayView bytes, ReplacePolicy policy,
                              WriteChunk writeChunk = systemWriteChunk);

}  // namespace ornavex
