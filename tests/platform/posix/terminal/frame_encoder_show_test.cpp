// The frame encoder on the show's own frames: frame after frame of diffs
// through a real terminal emulator must leave exactly the show's cells on the
// screen, however the encoder orders what it sends; and frames taller than
// the encoder's 64-row bands come out whole.
#include "imaging/vga_palette.h"
#include "platform/headless/headless_show.h"
#include "platform/posix/terminal/frame_encoder.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool sameColour(const VTermColor& c, int index) {
    const VgaColour& vga = vgaPalette[index];
    return VTERM_COLOR_IS_RGB(&c) && c.rgb.red == vga.r && c.rgb.green == vga.g &&
           c.rgb.blue == vga.b;
}

// The first cell where the screen differs from the frame, or "" when none does.
std::string firstDifference(const TerminalOracle& oracle, const Cell* cells, int width,
                            int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Cell& c = cells[y * width + x];
            const VTermScreenCell shown = oracle.cell(y, x);
            if (shown.chars[0] != cp437ToUnicode(c.character & 0xFF) ||
                !sameColour(shown.fg, c.attributes & 15) ||
                !sameColour(shown.bg, (c.attributes >> 4) & 15))
                return std::to_string(x) + "," + std::to_string(y);
        }
    }
    return "";
}

} // namespace

TEST(FrameEncoderOnTheShow, DiffsLeaveEveryFrameOnTheScreen) {
    HeadlessShow show(25);
    ASSERT_TRUE(show.start());
    TerminalOracle oracle(50, 80);
    std::vector<Cell> shown(80 * 50);
    forgetShownCells(shown.data(), shown.size());
    std::vector<char> out(maxEncodedFrameBytes(shown.size()));
    const FrameView view = layoutFrame(80, 50, 80, 50);
    std::size_t diffBytes = 0, redrawBytes = 0;
    int checked = 0;
    // Every frame of three stretches: the title and cloud, the rotozoom, the fire.
    for (const double from : {0.0, 95.0, 120.0}) {
        const std::int64_t first = show.frameAt(from);
        ASSERT_TRUE(show.runTo(first - 1));
        for (std::int64_t n = first; n < first + 50; ++n) {
            ASSERT_TRUE(show.runTo(n));
            const bool redraw = checked == 0;
            const std::size_t length = encodeFrame(show.cells(), shown.data(), 80, view, redraw,
                                                   ColourMode::trueColour, nullptr, 80, out.data());
            oracle.feed(std::string(out.data(), length));
            ASSERT_EQ(firstDifference(oracle, show.cells(), 80, 50), "")
                << "frame " << n << " (t = " << show.timeOf(n) << " s)";
            std::vector<Cell> fresh(shown.size());
            forgetShownCells(fresh.data(), fresh.size());
            diffBytes += length;
            redrawBytes += encodeFrame(show.cells(), fresh.data(), 80, view, true,
                                       ColourMode::trueColour, nullptr, 80, out.data());
            ++checked;
        }
    }
    // Changed cells only: less than redrawing every frame, even four frames apart.
    EXPECT_LT(diffBytes, redrawBytes);
}

TEST(FrameEncoderOnTheShow, FramesTallerThanABandComeOutWhole) {
    // 100 rows: two bands of rows. Every cell differs from its neighbours in
    // glyph and colours, so every colour pair has cells in both bands.
    constexpr int width = 40, height = 100;
    std::vector<Cell> cells(width * height);
    for (int i = 0; i < width * height; ++i)
        cells[i] = Cell{static_cast<std::uint16_t>(0xB0 + i % 3),
                        static_cast<std::uint16_t>((i * 7 + i / width) & 0xFF)};
    TerminalOracle oracle(height, width);
    std::vector<Cell> shown(cells.size());
    std::vector<char> out(maxEncodedFrameBytes(cells.size()));
    const FrameView view = layoutFrame(width, height, width, height);
    oracle.feed(
        std::string(out.data(), encodeFrame(cells.data(), shown.data(), width, view, true,
                                            ColourMode::trueColour, nullptr, width, out.data())));
    EXPECT_EQ(firstDifference(oracle, cells.data(), width, height), "");
    // A diff touching the last row of the first band and the first of the second.
    cells[63 * width + 5] = Cell{'A', 0x1E};
    cells[64 * width + 5] = Cell{'B', 0x1E};
    cells[99 * width + 39] = Cell{'C', 0x1E};
    oracle.feed(
        std::string(out.data(), encodeFrame(cells.data(), shown.data(), width, view, false,
                                            ColourMode::trueColour, nullptr, width, out.data())));
    EXPECT_EQ(firstDifference(oracle, cells.data(), width, height), "");
}
