#include "scan/service/frame_assembler.h"

#include <gtest/gtest.h>

namespace ornavex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
    FrameParameters parameters;
    Bytes data;
};

// Feeds every frame in chunks of the given size (0: all at once).
QImage assemble(const std::vector<Frame>& frames, std::size_t chunk) {
    FrameAssembler assembler;
    for (const Frame& frame : frames) {
        if (!assembler.beginFrame(frame.parameters)) return {};
        const std::size_t step = chunk == 0 ? frame.data.size() : chunk;
        for (std::size_t at = 0; at < frame.data.size(); at += step)
            assembler.feed(frame.data.data() + at, std::min(step, frame.data.size() - at));
    }
    return assembler.finish();
}

Bytes sixteenBit(std::initializer_list<std::uint16_t> samples) {
    Bytes bytes(samples.size() * 2);
    std::memcpy(bytes.data(), std::data(samples), bytes.size());  // the machine's byte order
    return bytes;
}

// The page row by row; a gray pixel as one number, a colour one as r,g,b.
std::string rowsOf(const QImage& image) {
    std::string text;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            text += std::to_string(qRed(p));
            if (qRed(p) != qGreen(p) || qRed(p) != qBlue(p))
                text += "," + std::to_string(qGreen(p)) + "," + std::to_string(qBlue(p));
            text += " ";
        }
        text += "| ";
    }
    return text;
}

FrameParameters gray(int width, int lines, int depth = 8, int bytesPerLine = 0) {
    const int stride = bytesPerLine ? bytesPerLine : (width * depth + 7) / 8;
    return {FrameFormat::Gray, true, stride, width, lines, depth};
}

FrameParameters pass(FrameFormat format, int width, int lines, bool last) {
    return {format, last, width, width, lines, 8};
}

constexpr auto kGray = QImage::Format_Grayscale8;
constexpr auto kRgb = QImage::Format_BGR888;
constexpr auto kNone = QImage::Format_Invalid;

struct Row {
    const char* name;
    std::vector<Frame> frames;
    QImage::Format format;
    std::string pixels;
};

Row row(const char* name, QImage::Format format, std::string pixels, std::vector<Frame> frames) {
    return {name, std::move(frames), format, std::move(pixels)};
}

// A page the assembler refuses shows as an invalid format without pixels.
TEST(FrameAssemblerTest, BuildsThePageWhateverTheChunkSize) {
    const Row rows[] = {
        row("Gray16InMachineOrder", kGray, "18 255 0 | ",
            {{gray(3, 1, 16), sixteenBit({0x1234, 0xff00, 0x00ff})}}),
        row("Rgb16InMachineOrder", kRgb, "171,1,255 | ",
            {{{FrameFormat::Rgb, true, 6, 1, 1, 16}, sixteenBit({0xabcd, 0x0102, 0xfffe})}}),
        row("PaddedLines", kGray, "10 20 | 30 40 | ",
            {{gray(2, 2, 8, 4), {10, 20, 99, 99, 30, 40, 99, 99}}}),
        row("StrideNarrowerThanWidth", kGray, "1 2 | 3 4 | ",
            {{{FrameFormat::Gray, true, 2, 4, 2, 8}, {1, 2, 3, 4}}}),
        row("ShortLastFrameKeepsWhatArrived", kGray, "1 2 | 3 4 | ",
            {{gray(2, 5), {1, 2, 3, 4, 5}}}),
        row("ThreePassWithShortLastPass", kRgb, "10,30,50 | 20,40,0 | ",
            {{pass(FrameFormat::Red, 1, 2, false), {10, 20}},
             {pass(FrameFormat::Green, 1, 2, false), {30, 40}},
             {pass(FrameFormat::Blue, 1, 2, true), {50}}}),
        row("SurplusLinesAreDropped", kGray, "1 | 2 | ", {{gray(1, 2), {1, 2, 3, 4}}}),
        row("RefusesDepth4", kNone, "", {{{FrameFormat::Gray, true, 4, 8, 1, 4}, {}}}),
        row("RefusesNoBytesPerLine", kNone, "", {{{FrameFormat::Gray, true, 0, 4, 1, 8}, {}}}),
        row("RefusesPassesOfDifferentWidth", kNone, "",
            {{pass(FrameFormat::Red, 4, 1, false), {1, 2, 3, 4}},
             {pass(FrameFormat::Green, 5, 1, false), {}}}),
        row("RefusesRgbAfterAPass", kNone, "",
            {{pass(FrameFormat::Red, 4, 1, false), {1, 2, 3, 4}},
             {{FrameFormat::Rgb, true, 12, 4, 1, 8}, {}}})};
    for (const Row& expected : rows) {
        for (std::size_t chunk : {0, 1, 3, 7}) {
            SCOPED_TRACE(expected.name + std::string(", chunk ") + std::to_string(chunk));
            const QImage page = assemble(expected.frames, chunk);
            EXPECT_EQ(page.format(), expected.format);
            EXPECT_EQ(rowsOf(page), expected.pixels);
        }
    }
}

}  // namespace
}  // namespace ornavex
