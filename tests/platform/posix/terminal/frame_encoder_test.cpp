// The frame encoder through a real terminal emulator: whole frames and diffs
// show the right glyphs and colours in every colour mode, laid out and cropped.
#include "platform/posix/terminal/frame_encoder.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int frameWidth = 80;
constexpr int frameHeight = 50;

struct Rgb {
    int r, g, b;
};

// The VGA palette by name, in console attribute order (1 blue, 2 green, 4 red, 8 bright).
const Rgb black{0, 0, 0}, blue{0, 0, 0xAA}, green{0, 0xAA, 0}, cyan{0, 0xAA, 0xAA}, red{0xAA, 0, 0},
    magenta{0xAA, 0, 0xAA}, brown{0xAA, 0x55, 0}, lightGrey{0xAA, 0xAA, 0xAA},
    darkGrey{0x55, 0x55, 0x55}, lightBlue{0x55, 0x55, 0xFF}, lightGreen{0x55, 0xFF, 0x55},
    lightCyan{0x55, 0xFF, 0xFF}, lightRed{0xFF, 0x55, 0x55}, lightMagenta{0xFF, 0x55, 0xFF},
    yellow{0xFF, 0xFF, 0x55}, white{0xFF, 0xFF, 0xFF};
const Rgb vga[16] = {black,    blue,         green,    cyan,      red,        magenta,
                     brown,    lightGrey,    darkGrey, lightBlue, lightGreen, lightCyan,
                     lightRed, lightMagenta, yellow,   white};

// ANSI numbers of the same colours: black, red, green, yellow, blue, magenta, cyan, white.
int ansiIndex(int attribute) {
    const int names[8] = {/*black*/ 0, /*blue*/ 4,    /*green*/ 2, /*cyan*/ 6,
                          /*red*/ 1,   /*magenta*/ 5, /*brown*/ 3, /*grey*/ 7};
    return names[attribute & 7] + ((attribute & 8) ? 8 : 0);
}

// The nearest xterm colour by brute force over the cube and the grey ramp.
int nearest256(const Rgb& c) {
    const int levels[6] = {0, 95, 135, 175, 215, 255};
    int best = -1;
    long bestDistance = 0;
    for (int index = 16; index < 256; ++index) {
        Rgb e;
        if (index < 232) {
            e = {levels[(index - 16) / 36], levels[(index - 16) / 6 % 6], levels[(index - 16) % 6]};
        } else {
            const int v = 8 + 10 * (index - 232);
            e = {v, v, v};
        }
        const long d = long(e.r - c.r) * (e.r - c.r) + long(e.g - c.g) * (e.g - c.g) +
                       long(e.b - c.b) * (e.b - c.b);
        if (best < 0 || d < bestDistance) {
            best = index;
            bestDistance = d;
        }
    }
    return best;
}

// Code page 437 as the C library converts it (for bytes 0x80-0xFF).
std::uint32_t libraryCp437(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-32LE", "CP437");
    // iconv's failure value is (iconv_t)-1.
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)); // NOLINT(performance-no-int-to-ptr)
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = 4;
    iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return out[0] | (out[1] << 8) | (out[2] << 16) | (std::uint32_t(out[3]) << 24);
}

// Every byte value and every attribute, drawn text sign-extended as drawText stores it.
std::vector<Cell> patternFrame(int seed = 0) {
    std::vector<Cell> cells(frameWidth * frameHeight);
    for (int i = 0; i < frameWidth * frameHeight; ++i) {
        const int byte = (i + seed) & 0xFF;
        const bool signExtended = byte >= 0x80 && (i / 256) % 2 == 1;
        cells[i].character = static_cast<std::uint16_t>(signExtended ? 0xFF00 | byte : byte);
        cells[i].attributes = static_cast<std::uint16_t>(((i + seed) * 37) & 0xFF);
    }
    return cells;
}

std::string encode(const std::vector<Cell>& cells, std::vector<Cell>& shown, const FrameView& view,
                   bool redrawAll, ColourMode mode, const char* notice = nullptr,
                   int terminalColumns = frameWidth) {
    std::vector<char> out(maxEncodedFrameBytes(static_cast<std::size_t>(view.columns) *
                                                   static_cast<std::size_t>(view.rows),
                                               notice ? std::strlen(notice) : 0));
    const std::size_t n = encodeFrame(cells.data(), shown.data(), frameWidth, view, redrawAll, mode,
                                      notice, terminalColumns, out.data());
    EXPECT_LE(n, out.size());
    return std::string(out.data(), n);
}

void expectColour(const VTermColor& got, int attribute, ColourMode mode, const char* what) {
    switch (mode) {
    case ColourMode::trueColour:
        ASSERT_TRUE(VTERM_COLOR_IS_RGB(&got)) << what;
        EXPECT_EQ(got.rgb.red, vga[attribute].r) << what;
        EXPECT_EQ(got.rgb.green, vga[attribute].g) << what;
        EXPECT_EQ(got.rgb.blue, vga[attribute].b) << what;
        break;
    case ColourMode::xterm256:
        ASSERT_TRUE(VTERM_COLOR_IS_INDEXED(&got)) << what;
        EXPECT_EQ(got.indexed.idx, nearest256(vga[attribute])) << what;
        break;
    case ColourMode::ansi16:
        ASSERT_TRUE(VTERM_COLOR_IS_INDEXED(&got)) << what;
        EXPECT_EQ(got.indexed.idx, ansiIndex(attribute)) << what;
        break;
    }
}

// Checks every visible cell of the frame on the emulator's screen.
void expectShows(const TerminalOracle& oracle, const std::vector<Cell>& cells,
                 const FrameView& view, ColourMode mode, int skipRow = -1) {
    for (int row = 0; row < view.rows; ++row) {
        if (view.screenY + row == skipRow)
            continue;
        for (int column = 0; column < view.columns; ++column) {
            const Cell& c = cells[(view.frameY + row) * frameWidth + view.frameX + column];
            const VTermScreenCell shown = oracle.cell(view.screenY + row, view.screenX + column);
            const std::string where = "at frame " + std::to_string(view.frameX + column) + "," +
                                      std::to_string(view.frameY + row);
            ASSERT_EQ(shown.chars[0], cp437ToUnicode(c.character & 0xFF)) << where;
            expectColour(shown.fg, c.attributes & 15, mode, ("foreground " + where).c_str());
            expectColour(shown.bg, (c.attributes >> 4) & 15, mode, ("background " + where).c_str());
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

// The frame on a terminal of its own size: all of it, in place.
const FrameView whole = layoutFrame(frameWidth, frameHeight, frameWidth, frameHeight);

const ColourMode allModes[] = {ColourMode::trueColour, ColourMode::xterm256, ColourMode::ansi16};

} // namespace

TEST(FrameEncoder, GlyphsAreCodePage437WithZeroAsSpace) {
    for (int byte = 0x80; byte < 0x100; ++byte)
        EXPECT_EQ(cp437ToUnicode(static_cast<std::uint8_t>(byte)),
                  libraryCp437(static_cast<unsigned char>(byte)))
            << "byte " << byte;
    for (int byte = 0x20; byte < 0x7F; ++byte)
        EXPECT_EQ(cp437ToUnicode(static_cast<std::uint8_t>(byte)),
                  static_cast<std::uint32_t>(byte));
    // The PC's pictures for the control range.
    EXPECT_EQ(cp437ToUnicode(0x00), 0x20u);
    EXPECT_EQ(cp437ToUnicode(0x01), 0x263Au); // smiling face
    EXPECT_EQ(cp437ToUnicode(0x0F), 0x263Cu); // sun
    EXPECT_EQ(cp437ToUnicode(0x10), 0x25BAu); // right-pointing pointer
    EXPECT_EQ(cp437ToUnicode(0x1F), 0x25BCu); // down-pointing triangle
    EXPECT_EQ(cp437ToUnicode(0x7F), 0x2302u); // house
}

TEST(FrameEncoder, BlueAndRedKeepTheirPlaces) {
    // Red text on a blue ground, bright blue on bright red.
    std::vector<Cell> cells(frameWidth * frameHeight, Cell{0xDB, 0x14});
    cells[1] = Cell{0xDB, 0xC9};
    struct Expected {
        Rgb fg, bg;
        int fg256, bg256, fg16, bg16;
    };
    const Expected expected[2] = {{red, blue, 124, 19, 1, 4},
                                  {lightBlue, lightRed, 63, 203, 12, 9}};
    for (ColourMode mode : allModes) {
        TerminalOracle oracle(frameHeight, frameWidth);
        std::vector<Cell> shown(cells.size());
        oracle.feed(encode(cells, shown, whole, true, mode));
        for (int i = 0; i < 2; ++i) {
            const VTermScreenCell c = oracle.cell(0, i);
            if (mode == ColourMode::trueColour) {
                EXPECT_EQ(c.fg.rgb.red, expected[i].fg.r);
                EXPECT_EQ(c.fg.rgb.blue, expected[i].fg.b);
                EXPECT_EQ(c.bg.rgb.red, expected[i].bg.r);
                EXPECT_EQ(c.bg.rgb.blue, expected[i].bg.b);
            } else {
                const bool cube = mode == ColourMode::xterm256;
                EXPECT_EQ(c.fg.indexed.idx, cube ? expected[i].fg256 : expected[i].fg16);
                EXPECT_EQ(c.bg.indexed.idx, cube ? expected[i].bg256 : expected[i].bg16);
            }
        }
    }
}

// A whole frame shows every glyph and colour; the diff after it sends only the
// changed cells, and starts its colours from a reset.
TEST(FrameEncoder, WholeFramesAndDiffsShowEveryGlyphAndColourInEachMode) {
    const std::vector<Cell> first = patternFrame();
    for (ColourMode mode : allModes) {
        SCOPED_TRACE(static_cast<int>(mode));
        TerminalOracle oracle(frameHeight, frameWidth);
        std::vector<Cell> shown(first.size());
        forgetShownCells(shown.data(), shown.size());
        const std::string bytes = encode(first, shown, whole, true, mode);
        ASSERT_EQ(bytes.rfind("\x1b[?2026h", 0), 0u) << "synchronized output first";
        ASSERT_EQ(bytes.substr(bytes.size() - 8), "\x1b[?2026l") << "and last";
        oracle.feed(bytes);
        expectShows(oracle, first, whole, mode);

        std::vector<Cell> second = first;
        second[4 * frameWidth + 3].character = 0xB1;             // glyph only
        second[20 * frameWidth + 10].attributes ^= 0x0C;         // foreground only
        second[frameWidth * frameHeight - 1] = Cell{0xB2, 0x4E}; // both, last cell
        for (int x = 5; x < 10; ++x)
            second[30 * frameWidth + x] = Cell{0xDC, 0x1F}; // a run
        // The same glyph sign-extended is no change.
        second[0x90].character = 0xFF90;
        const std::string diff = encode(second, shown, whole, false, mode);
        EXPECT_LT(diff.size(), 400u);
        // The first colour sequence is a reset of its own, so no attribute of
        // the previous frame leaks into this one (and mlterm, which drops
        // 24-bit colours after a reset in the same sequence, gets them too).
        std::smatch sgr;
        ASSERT_TRUE(std::regex_search(diff, sgr, std::regex("\x1b\\[[0-9;]*m")));
        EXPECT_EQ(sgr.str(), "\x1b[0m");
        oracle.feed(diff);
        expectShows(oracle, second, whole, mode);

        EXPECT_EQ(encode(second, shown, whole, false, mode), "") << "nothing changed";
    }
}

TEST(FrameEncoder, CentresInALargerTerminalAndClearsAroundIt) {
    const std::vector<Cell> cells = patternFrame(7);
    const FrameView view = layoutFrame(frameWidth, frameHeight, 101, 57);
    EXPECT_EQ(view.screenX, 10);
    EXPECT_EQ(view.screenY, 3);
    TerminalOracle oracle(57, 101);
    oracle.feed("leftover text from before");
    std::vector<Cell> shown(cells.size());
    oracle.feed(encode(cells, shown, view, true, ColourMode::trueColour, nullptr, 101));
    expectShows(oracle, cells, view, ColourMode::trueColour);
    EXPECT_EQ(oracle.glyph(0, 0), 0u);
    EXPECT_EQ(oracle.glyph(56, 100), 0u);
    EXPECT_EQ(oracle.glyph(20, 9), 0u);
    EXPECT_EQ(oracle.glyph(20, 90), 0u);
}

TEST(FrameEncoder, CropsAroundTheCentreWithANoticeOnTop) {
    const FrameView view = layoutFrame(frameWidth, frameHeight, 60, 30);
    EXPECT_EQ(view.frameX, 10);
    EXPECT_EQ(view.frameY, 10);
    EXPECT_EQ(view.columns, 60);
    EXPECT_EQ(view.rows, 30);
    const std::vector<Cell> cells = patternFrame(3);
    TerminalOracle oracle(30, 60);
    std::vector<Cell> shown(cells.size());
    const char* notice = "needs 80 x 50";
    oracle.feed(encode(cells, shown, view, true, ColourMode::xterm256, notice, 60));
    expectShows(oracle, cells, view, ColourMode::xterm256, 0);
    std::string top;
    for (int column = 0; column < 60; ++column)
        top += static_cast<char>(oracle.glyph(0, column) < 0x80 ? oracle.glyph(0, column) : '?');
    EXPECT_NE(top.find(notice), std::string::npos) << top;
    EXPECT_TRUE(oracle.cell(0, 30).attrs.reverse);
    // Where the notice does not reach, the top row is picture.
    EXPECT_EQ(oracle.glyph(0, 0), cp437ToUnicode(cells[10 * frameWidth + 10].character & 0xFF));

    // Odd sizes keep the centre; a terminal with no room shows nothing.
    EXPECT_EQ(layoutFrame(frameWidth, frameHeight, 79, 49).frameX, 0);
    EXPECT_EQ(layoutFrame(frameWidth, frameHeight, 81, 51).screenX, 0);
    EXPECT_EQ(layoutFrame(frameWidth, frameHeight, 82, 52).screenY, 1);
    const FrameView none = layoutFrame(frameWidth, frameHeight, 0, 0);
    std::vector<Cell> untouched(cells.size());
    EXPECT_EQ(encode(cells, untouched, none, false, ColourMode::ansi16), "");
}

TEST(FrameEncoder, WorstCaseFitsTheAdvertisedBuffer) {
    // Every other cell changes both colours, far from the origin in a huge terminal.
    std::vector<Cell> cells(frameWidth * frameHeight);
    for (int i = 0; i < frameWidth * frameHeight; ++i)
        cells[i] = Cell{0xB0, static_cast<std::uint16_t>((i / 2) % 2 ? 0x7F : 0xF7)};
    const FrameView view = layoutFrame(frameWidth, frameHeight, 65535, 65535);
    std::vector<Cell> shown(cells.size());
    for (int i = 0; i < frameWidth * frameHeight; i += 2)
        shown[i] = Cell{0xB0, static_cast<std::uint16_t>(cells[i].attributes)};
    const std::size_t bound = maxEncodedFrameBytes(cells.size());
    std::vector<char> out(bound + 64, '#');
    const std::size_t n = encodeFrame(cells.data(), shown.data(), frameWidth, view, false,
                                      ColourMode::trueColour, nullptr, 65535, out.data());
    EXPECT_GT(n, 0u);
    EXPECT_LE(n, bound);
    EXPECT_EQ(std::string(out.data() + bound, 64), std::string(64, '#'));
}

TEST(FrameEncoder, TitleIsUtf8WithoutControlBytes) {
    TerminalOracle oracle(frameHeight, frameWidth);
    char out[128];
    const char title[] = "Tempus 1.5 \xc5\x07\x1b]0;x";
    oracle.feed(std::string(out, encodeTitle(title, out)));
    EXPECT_EQ(oracle.title, "Tempus 1.5 \xe2\x94\xbc]0;x");
}
