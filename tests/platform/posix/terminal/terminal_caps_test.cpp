// What each kind of terminal is sent: capabilities read from the installed
// terminfo descriptions, the colour mode chosen from them, and the glyphs for
// terminals whose encoding is not UTF-8, checked through a terminal emulator.
#include "platform/posix/terminal/terminal_caps.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TerminalCaps, DescriptionsDecideWhatIsSent) {
    TerminalCaps caps;
    ASSERT_TRUE(describeTerminal("xterm-256color", caps));
    EXPECT_TRUE(caps.described);
    EXPECT_TRUE(caps.alternateScreen && caps.title && caps.titleStack && caps.mouse);
    EXPECT_TRUE(caps.windowOps);
    EXPECT_EQ(chooseColourMode(caps, nullptr), ColourMode::xterm256);
    EXPECT_EQ(chooseColourMode(caps, "truecolor"), ColourMode::trueColour);
    EXPECT_EQ(chooseColourMode(caps, "yes"), ColourMode::xterm256);
    // Its palette can be set: colour 6 (ANSI yellow) becomes VGA brown.
    ASSERT_TRUE(caps.setPalette);
    EXPECT_EQ(std::string(caps.palette[3]), "\x1b]4;3;rgb:AA/55/00\x1b\\");
    EXPECT_EQ(std::string(caps.resetPalette), "\x1b]104\x07");

    ASSERT_TRUE(describeTerminal("xterm", caps));
    EXPECT_EQ(chooseColourMode(caps, nullptr), ColourMode::ansi16);
    EXPECT_FALSE(caps.setPalette);

    // Old terminals get no alternate screen, title, mouse or window requests.
    ASSERT_TRUE(describeTerminal("vt100", caps));
    EXPECT_FALSE(caps.alternateScreen || caps.title || caps.mouse || caps.windowOps);
    EXPECT_TRUE(caps.decGraphics);
    EXPECT_EQ(std::string(caps.decOn), "\x0e");

    ASSERT_TRUE(describeTerminal("linux", caps));
    EXPECT_FALSE(caps.alternateScreen || caps.title || caps.windowOps);
    EXPECT_TRUE(caps.setPalette);
    EXPECT_EQ(std::string(caps.resetPalette), "\x1b]R");

    // A title but no title stack: cleared at exit rather than left behind.
    ASSERT_TRUE(describeTerminal("rxvt-unicode-256color", caps));
    EXPECT_TRUE(caps.title);
    EXPECT_FALSE(caps.titleStack);

    // No cursor addressing: no console, with the reason.
    EXPECT_FALSE(describeTerminal("dumb", caps));
    ASSERT_NE(caps.failure, nullptr);
    EXPECT_EQ(std::string(caps.failure), "TERM=dumb cannot address the cursor");

    // Unknown or unset: taken as xterm-compatible.
    EXPECT_TRUE(describeTerminal("no-such-terminal-256color", caps));
    EXPECT_FALSE(caps.described);
    EXPECT_TRUE(caps.alternateScreen);
    EXPECT_EQ(chooseColourMode(caps, nullptr), ColourMode::xterm256);
    EXPECT_TRUE(describeTerminal(nullptr, caps));
    EXPECT_EQ(chooseColourMode(caps, nullptr), ColourMode::ansi16);
}

TEST(TerminalCaps, GlyphsForEachEncoding) {
    TerminalCaps caps;
    ASSERT_TRUE(describeTerminal("xterm", caps));
    GlyphTable latin1;
    buildGlyphTable(Charset::latin1, caps, latin1);
    // The encoding's own letters, the DEC checkerboard and lines, and a full
    // block as a reversed space.
    EXPECT_EQ(latin1.bytes[0x82][0], '\xe9');
    EXPECT_EQ(latin1.flags[0x82], 0);
    EXPECT_EQ(latin1.bytes[0xB1][0], 'a');
    EXPECT_EQ(latin1.flags[0xB1], GlyphTable::decGlyph);
    EXPECT_EQ(latin1.bytes[0xC4][0], 'q');
    EXPECT_EQ(latin1.bytes[0xDB][0], ' ');
    EXPECT_EQ(latin1.flags[0xDB], GlyphTable::reversed);
    EXPECT_TRUE(latin1.approximatesShades);

    TerminalCaps plain;
    ASSERT_TRUE(describeTerminal(nullptr, plain));
    plain.decGraphics = false;
    GlyphTable ascii;
    buildGlyphTable(Charset::ascii, plain, ascii);
    for (int byte = 0x80; byte < 256; ++byte) {
        EXPECT_EQ(ascii.length[byte], 1) << byte;
        EXPECT_LT(static_cast<unsigned char>(ascii.bytes[byte][0]), 0x80) << byte;
        EXPECT_EQ(ascii.flags[byte] & GlyphTable::decGlyph, 0) << byte;
    }
    EXPECT_EQ(ascii.bytes[0xC4][0], '-');
    EXPECT_EQ(ascii.bytes[0x82][0], 'e');
    // A readable stand-in for every picture, the starfield's centre (0x0F)
    // among them: a question mark only for itself and the inverted one.
    for (const GlyphTable* table : {&latin1, &ascii}) {
        for (int byte = 1; byte < 256; ++byte) {
            if (byte != '?' && byte != 0xA8) {
                EXPECT_NE(table->bytes[byte][0], '?') << byte;
            }
        }
    }
    EXPECT_EQ(ascii.bytes[0x0F][0], '*');
    EXPECT_EQ(ascii.bytes[0xF7][0], '~');
    EXPECT_EQ(latin1.bytes[0x0F][0], '*');
    EXPECT_EQ(latin1.flags[0x0F], 0);

    char note[160];
    describeApproximations(Charset::latin1, latin1, note, sizeof(note));
    EXPECT_NE(std::string(note).find("Latin-1"), std::string::npos) << note;
    GlyphTable utf8;
    buildGlyphTable(Charset::utf8, caps, utf8);
    describeApproximations(Charset::utf8, utf8, note, sizeof(note));
    EXPECT_EQ(std::string(note), "");
}

TEST(TerminalCaps, AsciiFrameShowsShadesThroughDecGraphicsAndReverse) {
    TerminalCaps caps;
    ASSERT_TRUE(describeTerminal("xterm", caps));
    GlyphTable table;
    buildGlyphTable(Charset::ascii, caps, table);
    constexpr int w = 8;
    constexpr int h = 2;
    std::vector<Cell> cells(w * h, Cell{0xB1, 0x4E});
    cells[1] = Cell{0xDB, 0x4E};
    cells[2] = Cell{'x', 0x07};
    std::vector<Cell> shown(cells.size());
    forgetShownCells(shown.data(), shown.size());
    std::vector<char> out(maxEncodedFrameBytes(cells.size()));
    const FrameView view = layoutFrame(w, h, w, h);
    const std::size_t n = encodeFrame(cells.data(), shown.data(), w, view, true, ColourMode::ansi16,
                                      nullptr, w, out.data(), &table);
    const std::string bytes(out.data(), n);
    for (char c : bytes)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80u) << "ASCII only";

    TerminalOracle oracle(h, w);
    oracle.feed(bytes + "\x1b[2;8Hx");
    EXPECT_EQ(oracle.glyph(0, 0), 0x2592u) << "DEC checkerboard";
    EXPECT_EQ(oracle.glyph(0, 2), static_cast<std::uint32_t>('x'));
    // The full block: a space with the colours swapped (yellow background).
    EXPECT_EQ(oracle.glyph(0, 1), static_cast<std::uint32_t>(' '));
    const VTermScreenCell block = oracle.cell(0, 1);
    EXPECT_TRUE(VTERM_COLOR_IS_INDEXED(&block.bg));
    EXPECT_EQ(block.bg.indexed.idx, 11);
    // The frame leaves the ordinary character set selected.
    EXPECT_EQ(oracle.glyph(1, 7), static_cast<std::uint32_t>('x'));
}

// mlterm draws 24-bit colour without saying so; its own 16 colours are not
// VGA's, and a palette changed there is not put back.
TEST(TerminalCaps, MltermGetsTwentyFourBitColour) {
    TerminalCaps caps;
    ASSERT_TRUE(describeTerminal("mlterm", caps));
    EXPECT_EQ(chooseColourMode(caps, nullptr), ColourMode::trueColour);
    EXPECT_FALSE(caps.setPalette);
    EXPECT_TRUE(isMlterm("xterm", "3.9.0"));
    EXPECT_FALSE(isMlterm("xterm", nullptr));
    EXPECT_FALSE(isMlterm("tmux-256color", "3.9.0")) << "tmux speaks for itself";
}

TEST(TerminalCaps, NotesBreakBetweenWords) {
    char note[] = "The terminal's Latin-1 encoding has no code page 437 shades, box lines, some "
                  "symbols; they were approximated.";
    wrapAtWords(note, 80);
    EXPECT_EQ(std::string(note), "The terminal's Latin-1 encoding has no code page 437 shades, "
                                 "box lines, some\nsymbols; they were approximated.");
    char narrow[] = "one two three averyveryverylongword four";
    wrapAtWords(narrow, 9);
    EXPECT_EQ(std::string(narrow), "one two\nthree\naveryveryverylongword\nfour");
    char exact[] = "abc def";
    wrapAtWords(exact, 7);
    EXPECT_EQ(std::string(exact), "abc def");
}
