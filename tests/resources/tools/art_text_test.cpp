// The text form of the pictures: every byte has one spelling, the planes read
// back exactly, and mistakes are reported at their line and column.
#include "art_text.h"

#include <gtest/gtest.h>

#include <set>

namespace {

ArtPicture everyCell() {
    // 16 x 16 cells: every character once, every attribute once (in another
    // order, so a swap of the two planes shows).
    ArtPicture p;
    p.width = 16;
    p.height = 16;
    for (int i = 0; i < 256; ++i) {
        p.data.push_back(static_cast<std::uint8_t>(i));
        p.data.push_back(static_cast<std::uint8_t>(255 - i));
    }
    return p;
}

std::string parseError(const std::string& text, const ArtRules& rules = {}) {
    ArtPicture p;
    std::string error;
    EXPECT_FALSE(parseArtText(text, "pic.txt", rules, p, error));
    return error;
}

const std::string small = "# a 3 x 2 picture\n"
                          "cells 3 2\n"
                          "glyphs\n"
                          "|░▒▓|\n"
                          "|. ||\n"
                          "foreground\n"
                          "|0aF|\n"
                          "|123|\n"
                          "background\n"
                          "|100|\n"
                          "|00E|\n";

} // namespace

TEST(ArtGlyphs, EveryByteHasItsOwnCodePoint) {
    std::set<std::uint32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const std::uint32_t code = glyphCodePoint(static_cast<std::uint8_t>(b));
        EXPECT_TRUE(seen.insert(code).second) << "byte " << b << " shares U+" << std::hex << code;
        EXPECT_EQ(glyphByte(code), b);
    }
    EXPECT_EQ(glyphByte(0x20AC), -1); // the euro sign is not in code page 437
    EXPECT_EQ(glyphByte('x'), 'x');
    EXPECT_EQ(glyphByte(0x2591), 0xB0);
}

TEST(ArtText, CellsRoundTripThroughText) {
    const ArtPicture original = everyCell();
    const std::string text = formatArtText(original, "all of them\n\nsecond line");
    ArtPicture back;
    std::string error;
    ASSERT_TRUE(parseArtText(text, "all.txt", {}, back, error)) << error;
    EXPECT_EQ(back.kind, ArtKind::cells);
    EXPECT_EQ(back.width, 16);
    EXPECT_EQ(back.height, 16);
    EXPECT_EQ(back.data, original.data);
    EXPECT_EQ(formatArtText(back, "all of them\n\nsecond line"), text);
}

TEST(ArtText, ByteMapsRoundTripThroughText) {
    ArtPicture original;
    original.kind = ArtKind::bytes;
    original.width = 32;
    original.height = 8;
    for (int i = 0; i < 256; ++i)
        original.data.push_back(static_cast<std::uint8_t>(i * 7));
    ArtPicture back;
    std::string error;
    ASSERT_TRUE(parseArtText(formatArtText(original, ""), "b.txt", {}, back, error)) << error;
    EXPECT_EQ(back.kind, ArtKind::bytes);
    EXPECT_EQ(back.data, original.data);
}

TEST(ArtText, ReadsPlanesIntoCharacterAndAttribute) {
    ArtPicture p;
    std::string error;
    ASSERT_TRUE(parseArtText(small, "small.txt", {}, p, error)) << error;
    ASSERT_EQ(p.data.size(), 12u);
    const std::uint8_t expected[12] = {0xB0, 0x10, 0xB1, 0x0A, 0xB2, 0x0F,
                                       '.',  0x01, ' ',  0x02, '|',  0xE3};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(p.data[i], expected[i]) << "byte " << i;
}

TEST(ArtText, ToleratesCommentsBlankLinesAndWindowsLineEnds) {
    std::string text;
    for (const char c : small) {
        if (c == '\n')
            text += "\r\n";
        else
            text += c;
    }
    text.insert(text.find("|. ||"), "# between rows\r\n\r\n");
    ArtPicture p;
    std::string error;
    EXPECT_TRUE(parseArtText(text, "crlf.txt", {}, p, error)) << error;
}

TEST(ArtText, ReportsMistakesAtTheirPlace) {
    auto replaced = [](const std::string& from, const std::string& to) {
        std::string text = small;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    EXPECT_EQ(parseError(replaced("|. ||", "|.€||")),
              "pic.txt:5:2: \"€\" (U+20AC) is not a code page 437 character");
    EXPECT_EQ(parseError(replaced("|. ||", "|. |")),
              "pic.txt:5: glyphs row 2 has 2 cells between the bars, expected 3");
    EXPECT_EQ(parseError(replaced("|. ||", "|. ||x")), "pic.txt:5: glyphs row 2 must end with '|'");
    EXPECT_EQ(parseError(replaced("|123|", "|1G3|")),
              "pic.txt:8:2: \"G\" (U+0047) is not a colour digit (0-9, A-F)");
    EXPECT_EQ(parseError(replaced("foreground", "foregound")),
              "pic.txt:6: expected \"foreground\", found \"foregound\"");
    EXPECT_EQ(parseError(replaced("cells 3 2", "cells 3")),
              "pic.txt:2: expected \"cells WIDTH HEIGHT\" or \"bytes WIDTH HEIGHT\"");
    EXPECT_EQ(parseError(small.substr(0, small.size() - 6)),
              "pic.txt:10 (end of file): background row 2 is missing");
    EXPECT_EQ(parseError(small + "|000|\n"), "pic.txt:12: unexpected text after the last row");
    EXPECT_EQ(parseError(replaced("▓", "\xE2\x96")),
              "pic.txt:4:3: glyphs row 1 is not valid UTF-8");
    // An overlong spelling of "|" would give one cell two spellings.
    EXPECT_EQ(parseError(replaced("|. ||", "|. \xC1\xBC|")),
              "pic.txt:5:3: glyphs row 2 is not valid UTF-8");
}

TEST(ArtText, EnforcesTheSizeAndForbiddenCharacters) {
    ArtRules size;
    size.width = 3;
    size.height = 3;
    EXPECT_EQ(parseError(small, size), "pic.txt:2: the picture is 3 x 2, the show needs 3 x 3");
    ArtRules noDot;
    noDot.forbiddenGlyphs = ".";
    EXPECT_EQ(parseError(small, noDot),
              "pic.txt:5:1: \".\" (U+002E) is not allowed in this picture");
}
