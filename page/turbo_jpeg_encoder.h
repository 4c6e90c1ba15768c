#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

#include <QImage>

namespace ornavex {

// JPEG pages on libjpeg-turbo: no chroma subsampling, one gray component for
// gray pictures, and the picture's DPI in the JFIF header.
class TurboJpegEncoder {
  public:
    // The compressed page goes into a worst-case sized buffer. PerPage frees it
    // after each page; Preallocated keeps it, which saves a third of the time
    // of a colour A4 page for a few MB that stay resident (bench/store_bench).
    enum class OutputBuffer { PerPage, Preallocated };

    explicit TurboJpegEncoder(OutputBuffer buffer = OutputBuffer::Preallocated);
    ~TurboJpegEncoder();
    TurboJpegEncoder(const TurboJpegEncoder&) = delete;
    TurboJpegEncoder& operator=(const TurboJpegEncoder&) = delete;

    // The file's bytes in the encoder's own buffer, valid until endPage();
    // empty for a null picture or a failure of the library.
    QByteArrayView compress(const QImage& picture, int quality);
    // Lets go of the page's bytes; a per-page buffer is freed.
    void endPage() { endPage(false); }
    // The file's bytes as a copy of their own.
    QByteArray encode(const QImage& picture, int quality);

    // Used when a picture carries no resolution of its own.
    static constexpr int kFallbackDpi = 96;

  private:
    struct HandleCloser {
        void operator()(void* handle) const;
    };
    struct BufferFree {
        void operator()(unsigned char* buffer) const;
    };

    void reserve(unsigned long size);
    void endPage(bool always);

    OutputBuffer bufferMode_;
    std::unique_ptr<void, HandleCloser> handle_;
    std::unique_ptr<unsigned char, BufferFree> buffer_;
    unsigned long capacity_ = 0;
};

}  // namespace ornavex
