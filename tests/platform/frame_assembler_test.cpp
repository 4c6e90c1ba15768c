#include "platform/frame_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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
        for (std::size_t at = 0; at < frame.data.size(); at += step) {
            assembler.feed(frame.data.data() + at, std::min(step, frame.data.size() - at));
        }
    }
    return assembler.finish();
}

Bytes sixteenBit(std::initializer_list<std::uint16_t> samples) {
    Bytes bytes(samples.size() * 2);
    std::memcpy(bytes.data(), std::data(samples), bytes.size());  // the machine's byte order
    return bytes;
}

std::string rowsOf(const QImage& image) {
    std::string text;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            text += std::to_string(qRed(p)) + "," + std::to_string(qGreen(p)) + "," +
                    std::to_string(qBlue(p)) + " ";
        }
        text += "| ";
    }
    return text;
}

struct Row {
    const char* name;
    std::vector<Frame> frames;
    QImage::Format format;
    QSize size;
    std::string pixels;  // rows of r,g,b as the page must show them
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

FrameParameters gray(int width, int lines, int depth = 8, int bytesPerLine = 0) {
    const int stride = bytesPerLine ? bytesPerLine
                       : depth == 1 ? (width + 7) / 8
                                    : width * depth / 8;
    return {FrameFormat::Gray, true, stride, width, lines, depth};
}

FrameParameters rgb(int width, int lines, int depth = 8) {
    return {FrameFormat::Rgb, true, width * 3 * depth / 8, width, lines, depth};
}

FrameParameters pass(FrameFormat format, int width, int lines, bool last) {
    return {format, last, width, width, lines, 8};
}

const std::vector<Row> kRows = {
    {"Gray",
     {{gray(2, 2), {0, 50, 100, 255}}},
     QImage::Format_Grayscale8,
     {2, 2},
     "0,0,0 50,50,50 | 100,100,100 255,255,255 | "},
    {"Rgb", {{rgb(2, 1), {1, 2, 3, 4, 5, 6}}}, QImage::Format_RGB888, {2, 1}, "1,2,3 4,5,6 | "},
    {"LineartSetBitIsBlack",
     {{gray(10, 2, 1), {0b10100000, 0b01000000, 0xff, 0x00}}},
     QImage::Format_Mono,
     {10, 2},
     "0,0,0 255,255,255 0,0,0 255,255,255 255,255,255 255,255,255 255,255,255 255,255,255 "
     "255,255,255 0,0,0 | 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 255,255,255 "
     "255,255,255 | "},
    {"Gray16InMachineOrder",
     {{gray(3, 1, 16), sixteenBit({0x1234, 0xff00, 0x00ff})}},
     QImage::Format_Grayscale8,
     {3, 1},
     "18,18,18 255,255,255 0,0,0 | "},
    {"Rgb16InMachineOrder",
     {{rgb(1, 1, 16), sixteenBit({0xabcd, 0x0102, 0xfffe})}},
     QImage::Format_RGB888,
     {1, 1},
     "171,1,255 | "},
    {"PaddedLines",
     {{gray(2, 2, 8, 4), {10, 20, 99, 99, 30, 40, 99, 99}}},
     QImage::Format_Grayscale8,
     {2, 2},
     "10,10,10 20,20,20 | 30,30,30 40,40,40 | "},
    {"ThreePass",
     {{pass(FrameFormat::Red, 2, 1, false), {10, 20}},
      {pass(FrameFormat::Green, 2, 1, false), {30, 40}},
      {pass(FrameFormat::Blue, 2, 1, true), {50, 60}}},
     QImage::Format_RGB888,
     {2, 1},
     "10,30,50 20,40,60 | "},
    {"ThreePassOtherOrder",
     {{pass(FrameFormat::Blue, 1, 1, false), {7}},
      {pass(FrameFormat::Red, 1, 1, false), {8}},
      {pass(FrameFormat::Green, 1, 1, true), {9}}},
     QImage::Format_RGB888,
     {1, 1},
     "8,9,7 | "},
    {"UnknownLinesGrowAndCrop",
     {{gray(1, -1), Bytes(300, 77)}},
     QImage::Format_Grayscale8,
     {1, 300},
     [] {
         std::string s;
         for (int i = 0; i < 300; ++i) s += "77,77,77 | ";
         return s;
     }()},
    {"ShortLastFrameKeepsWhatArrived",
     {{gray(2, 5), {1, 2, 3, 4, 5}}},
     QImage::Format_Grayscale8,
     {2, 2},
     "1,1,1 2,2,2 | 3,3,3 4,4,4 | "},
    {"ThreePassWithShortLastPass",
     {{pass(FrameFormat::Red, 1, 2, false), {10, 20}},
      {pass(FrameFormat::Green, 1, 2, false), {30, 40}},
      {pass(FrameFormat::Blue, 1, 2, true), {50}}},
     QImage::Format_RGB888,
     {1, 2},
     "10,30,50 | 20,40,0 | "},
    {"SurplusLinesAreDropped",
     {{gray(1, 2), {1, 2, 3, 4}}},
     QImage::Format_Grayscale8,
     {1, 2},
     "1,1,1 | 2,2,2 | "},
};

class FrameAssemblerTest : public ::testing::TestWithParam<Row> {};

TEST_P(FrameAssemblerTest, BuildsThePageWhateverTheChunkSize) {
    const Row& row = GetParam();
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{7}}) {
        const QImage page = assemble(row.frames, chunk);
        ASSERT_FALSE(page.isNull()) << "chunk " << chunk;
        EXPECT_EQ(page.format(), row.format) << "chunk " << chunk;
        EXPECT_EQ(page.size(), row.size) << "chunk " << chunk;
        EXPECT_EQ(rowsOf(page), row.pixels) << "chunk " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FrameAssemblerTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssemblerMono, KeepsAWhiteBlackColourTableForTheWriters) {
    const QImage page = assemble({{gray(8, 1, 1), {0x0f}}}, 0);
    ASSERT_EQ(page.colorTable().size(), 2);
    EXPECT_EQ(page.colorTable()[0], qRgb(255, 255, 255));
    EXPECT_EQ(page.colorTable()[1], qRgb(0, 0, 0));
    EXPECT_EQ(page.constScanLine(0)[0], 0x0f);
}

struct Refusal {
    const char* name;
    std::vector<FrameParameters> frames;
};

void PrintTo(const Refusal& row, std::ostream* os) {
    *os << row.name;
}

class FrameAssemblerRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(FrameAssemblerRefusal, RefusesFramesItCannotPlace) {
    FrameAssembler assembler;
    const auto& frames = GetParam().frames;
    bool accepted = true;
    for (const FrameParameters& frame : frames) accepted = accepted && assembler.beginFrame(frame);
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(assembler.finish().isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FrameAssemblerRefusal,
    ::testing::Values(Refusal{"Depth4", {{FrameFormat::Gray, true, 4, 8, 1, 4}}},
                      Refusal{"NoLines", {gray(4, 0)}},
                      Refusal{"NoBytesPerLine", {{FrameFormat::Gray, true, 0, 4, 1, 8}}},
                      Refusal{"PassesOfDifferentWidth",
                              {pass(FrameFormat::Red, 4, 1, false),
                               pass(FrameFormat::Green, 5, 1, false)}},
                      Refusal{"RgbAfterAPass", {pass(FrameFormat::Red, 4, 1, false), rgb(4, 1)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssemblerStride, TrustsTheStrideWhenTheWidthDoesNotFit) {
    // A device that reports 4 pixels but only 2 bytes per line.
    const QImage page = assemble({{{FrameFormat::Gray, true, 2, 4, 2, 8}, {1, 2, 3, 4}}}, 1);
    EXPECT_EQ(page.size(), QSize(2, 2));
    EXPECT_EQ(rowsOf(page), "1,1,1 2,2,2 | 3,3,3 4,4,4 | ");
}

}  // namespace
}  // namespace ornavex
