#include "scan/service/frame_assembler.h"

#include <algorithm>
#include <cstring>

#include "page/picture_store.h"

namespace ornavex {
namespace {

// The most rows a page of that width may have and still be opened again.
int mostRows(int width) {
    if (width <= LargestPage::kShortSide) return LargestPage::kLongSide;
    if (width <= LargestPage::kLongSide) return LargestPage::kShortSide;
    return 0;
}

bool isSingleChannel(FrameFormat format) {
    return format == FrameFormat::Red || format == FrameFormat::Green ||
           format == FrameFormat::Blue;
}

// Where a colour sample goes in a pixel: blue first, the byte order of a
// Windows bitmap, so the clipboard hands out the page's own rows.
int byteOf(int channel) {
    return 2 - channel;
}

int byteOfSample(int sample) {
    return sample - sample % 3 + byteOf(sample % 3);
}

int channelOf(FrameFormat format) {
    if (format == FrameFormat::Green) return byteOf(1);
    if (format == FrameFormat::Blue) return byteOf(2);
    return byteOf(0);
}

int samplesPerPixel(FrameFormat format) {
    return format == FrameFormat::Rgb ? 3 : 1;
}

std::int64_t bytesForPixels(const FrameParameters& p, std::int64_t pixels) {
    const std::int64_t bits = pixels * samplesPerPixel(p.format) * p.depth;
    return (bits + 7) / 8;
}

// Devices that report more pixels than their lines can hold are trusted for the stride.
int pixelsThatFit(const FrameParameters& p) {
    const std::int64_t bitsPerPixel = std::int64_t{samplesPerPixel(p.format)} * p.depth;
    const std::int64_t fit = std::int64_t{p.bytesPerLine} * 8 / bitsPerPixel;
    return static_cast<int>(std::min<std::int64_t>(p.pixelsPerLine, fit));
}

inline std::uint8_t upperByte(const std::uint8_t* sample) {
    std::uint16_t value;
    std::memcpy(&value, sample, sizeof value);
    return static_cast<std::uint8_t>(value >> 8);
}

inline bool bitAt(const std::uint8_t* data, int index) {
    return (data[index >> 3] >> (7 - (index & 7))) & 1;
}

}  // namespace

bool FrameAssembler::fitsLargestPage(const FrameParameters& parameters) {
    if (parameters.depth != 1 && parameters.depth != 8 && parameters.depth != 16) return true;
    if (parameters.bytesPerLine <= 0 || parameters.pixelsPerLine <= 0) return true;
    const int rows = mostRows(pixelsThatFit(parameters));
    return rows > 0 && parameters.lines <= rows;
}

bool FrameAssembler::beginFrame(const FrameParameters& parameters) {
    if (parameters.depth != 1 && parameters.depth != 8 && parameters.depth != 16) return false;
    if (parameters.bytesPerLine <= 0 || parameters.pixelsPerLine <= 0) return false;
    if (parameters.lines == 0 || parameters.lines < -1) return false;
    // Refused before any memory is taken for it.
    if (!fitsLargestPage(parameters)) return false;
    FrameParameters checked = parameters;
    checked.pixelsPerLine = pixelsThatFit(parameters);
    if (checked.pixelsPerLine <= 0) return false;
    if (started_) {
        // Only the single-colour passes of a three-pass page may follow a frame.
        if (!isSingleChannel(checked.format) || !isSingleChannel(frame_.format)) return false;
        if (checked.pixelsPerLine != width_ || checked.depth != frame_.depth) return false;
    } else if (!startPage(checked)) {
        return false;
    }
    frame_ = checked;
    channel_ = channelOf(checked.format);
    frameLines_ = 0;
    frameBytes_ = 0;
    partialLine_.clear();
    partialLine_.reserve(static_cast<std::size_t>(checked.bytesPerLine));
    return true;
}

QImage FrameAssembler::allocate(int width, int height, QImage::Format format) const {
    if (allocate_) return allocate_(width, height, format);
    QImage image(width, height, format);
    if (!image.isNull()) image.fill(0);
    return image;
}

bool FrameAssembler::startPage(const FrameParameters& p) {
    width_ = p.pixelsPerLine;
    QImage::Format format = QImage::Format_BGR888;
    if (p.format == FrameFormat::Gray) {
        format = p.depth == 1 ? QImage::Format_Mono : QImage::Format_Grayscale8;
        conversion_ = p.depth == 1   ? Conversion::Gray1
                      : p.depth == 8 ? Conversion::Gray8
                                     : Conversion::Gray16;
    } else if (p.format == FrameFormat::Rgb) {
        conversion_ = p.depth == 1   ? Conversion::Rgb1
                      : p.depth == 8 ? Conversion::Rgb8
                                     : Conversion::Rgb16;
    } else {
        conversion_ = p.depth == 1   ? Conversion::Channel1
                      : p.depth == 8 ? Conversion::Channel8
                                     : Conversion::Channel16;
    }
    // A hand scanner starts with a guess that grows by doubling.
    const int initialRows = p.lines > 0 ? p.lines : std::min(256, mostRows(width_));
    // Zero-filled, so passes that never arrive leave their channel dark.
    image_ = allocate(width_, initialRows, format);
    if (image_.isNull()) return false;
    if (format == QImage::Format_Mono) {
        image_.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
    started_ = true;
    pageLines_ = 0;
    return true;
}

bool FrameAssembler::ensureRow(int row) {
    if (row < image_.height()) return true;
    const int limit = mostRows(width_);
    if (row >= limit) return false;
    const int newHeight = std::min(limit, std::max(row + 1, image_.height() * 2));
    QImage grown = allocate(width_, newHeight, image_.format());
    if (grown.isNull()) return false;
    grown.setColorTable(image_.colorTable());
    // Same width and format, so the stride matches and one copy moves all rows.
    std::memcpy(grown.bits(), image_.constBits(), static_cast<std::size_t>(image_.sizeInBytes()));
    image_ = std::move(grown);
    return true;
}

void FrameAssembler::feed(const std::uint8_t* data, std::size_t size) {
    if (!started_ || size == 0) return;
    frameBytes_ += size;
    const auto stride = static_cast<std::size_t>(frame_.bytesPerLine);
    if (!partialLine_.empty()) {
        const std::size_t take = std::min(size, stride - partialLine_.size());
        partialLine_.insert(partialLine_.end(), data, data + take);
        data += take;
        size -= take;
        if (partialLine_.size() < stride) return;
        convertLine(partialLine_.data());
        partialLine_.clear();
    }
    while (size >= stride) {
        convertLine(data);
        data += stride;
        size -= stride;
    }
    partialLine_.insert(partialLine_.end(), data, data + size);
}

void FrameAssembler::convertLine(const std::uint8_t* line) {
    const int row = frameLines_;
    // Lines beyond an announced count are surplus from a device that miscounted.
    if (frame_.lines > 0 && row >= frame_.lines) return;
    if (!ensureRow(row)) return;
    std::uint8_t* out = image_.scanLine(row);
    const int w = width_;
    switch (conversion_) {
        case Conversion::Gray1:
            std::memcpy(out, line, static_cast<std::size_t>(bytesForPixels(frame_, w)));
            break;
        case Conversion::Gray8:
            std::memcpy(out, line, static_cast<std::size_t>(w));
            break;
        case Conversion::Gray16:
            for (int x = 0; x < w; ++x) out[x] = upperByte(line + 2 * x);
            break;
        case Conversion::Rgb1:
            for (int i = 0; i < 3 * w; ++i) out[byteOfSample(i)] = bitAt(line, i) ? 255 : 0;
            break;
        case Conversion::Rgb8:
            for (int i = 0; i < 3 * w; i += 3) {
                out[i] = line[i + 2];
                out[i + 1] = line[i + 1];
                out[i + 2] = line[i];
            }
            break;
        case Conversion::Rgb16:
            for (int i = 0; i < 3 * w; ++i) out[byteOfSample(i)] = upperByte(line + 2 * i);
            break;
        case Conversion::Channel1:
            for (int x = 0; x < w; ++x) out[3 * x + channel_] = bitAt(line, x) ? 255 : 0;
            break;
        case Conversion::Channel8:
            for (int x = 0; x < w; ++x) out[3 * x + channel_] = line[x];
            break;
        case Conversion::Channel16:
            for (int x = 0; x < w; ++x) out[3 * x + channel_] = upperByte(line + 2 * x);
            break;
    }
    frameLines_ = row + 1;
    pageLines_ = std::max(pageLines_, frameLines_);
}

void FrameAssembler::release() {
    Allocate allocate = std::move(allocate_);
    *this = FrameAssembler(std::move(allocate));
}

QImage FrameAssembler::finish() {
    QImage page;
    if (started_ && pageLines_ > 0) {
        page = pageLines_ == image_.height() ? std::move(image_)
                                             : image_.copy(0, 0, width_, pageLines_);
    }
    Allocate allocate = std::move(allocate_);
    *this = FrameAssembler(std::move(allocate));
    return page;
}

}  // namespace ornavex
