#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ornavex {

// How the device packs one frame; mirrors what a scanner reports before it sends data.
enum class FrameFormat { Gray, Rgb, Red, Green, Blue };

struct FrameParameters {
    FrameFormat format = FrameFormat::Gray;
    bool lastFrame = true;
    int bytesPerLine = 0;
    int pixelsPerLine = 0;
    int lines = 0;  // -1: not known in advance (hand scanner)
    int depth = 8;  // 1, 8 or 16 bits per sample
};

// Turns the byte stream of one page (one frame, or three single-colour frames)
// into a QImage: Format_BGR888 for colour, Format_Grayscale8 for gray and
// Format_Mono for depth-1 gray, whose colour table maps index 0 to white and
// 1 to black because a set bit means black. 16-bit samples arrive in the
// machine's byte order and are reduced to their upper 8 bits.
// Chunks may end anywhere; partial lines are carried over to the next chunk.
class FrameAssembler {
  public:
    // Where the page's rows live: a zero-filled picture of that size and format,
    // or a null one when there is no room.
    using Allocate = std::function<QImage(int width, int height, QImage::Format format)>;

    FrameAssembler() = default;
    explicit FrameAssembler(Allocate allocate) : allocate_(std::move(allocate)) {}

    // False when the frame cannot be assembled (depth, size, or a pass that does
    // not match the earlier ones).
    bool beginFrame(const FrameParameters& parameters);
    // False for a frame larger than the largest page the program opens again
    // (a hand scanner's frame: too wide for it).
    static bool fitsLargestPage(const FrameParameters& parameters);
    void feed(const std::uint8_t* data, std::size_t size);
    // The page as far as it arrived: complete lines only, cropped to the most
    // lines any frame delivered. Null when no line arrived.
    QImage finish();
    // Lets go of the page without looking at it, ready for the next.
    void release();

    std::size_t bytesInFrame() const { return frameBytes_; }
    // Complete lines of the page so far, and the picture that holds them (and
    // possibly room for more rows below).
    int linesDone() const { return pageLines_; }
    const QImage& rows() const { return image_; }

  private:
    enum class Conversion {
        Gray1,
        Gray8,
        Gray16,
        Rgb1,
        Rgb8,
        Rgb16,
        Channel1,
        Channel8,
        Channel16
    };

    bool startPage(const FrameParameters& parameters);
    QImage allocate(int width, int height, QImage::Format format) const;
    bool ensureRow(int row);
    void convertLine(const std::uint8_t* line);

    Allocate allocate_;
    FrameParameters frame_;
    Conversion conversion_ = Conversion::Gray8;
    int channel_ = 0;
    int width_ = 0;
    bool started_ = false;
    QImage image_;
    int frameLines_ = 0;
    int pageLines_ = 0;
    std::size_t frameBytes_ = 0;
    std::vector<std::uint8_t> partialLine_;
};

}  // namespace ornavex
