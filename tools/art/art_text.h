// The editable text form of the show's pictures, and its conversion to and
// from the binary resources. Cell art becomes three aligned planes (glyphs in
// UTF-8, foreground and background colour digits); a byte map becomes rows of
// hexadecimal pairs. Every binary file has exactly one text form, so
// binary -> text -> binary gives back the same bytes.
//
// A file, blank lines and lines starting with '#' aside:
//
//   cells WIDTH HEIGHT            or   bytes WIDTH HEIGHT
//   glyphs                             |00ff7f...|   HEIGHT rows of WIDTH pairs
//   |WIDTH glyphs|   HEIGHT rows
//   foreground
//   |WIDTH hex digits|   HEIGHT rows
//   background
//   |WIDTH hex digits|   HEIGHT rows
//
// Each row sits between two bars, so trailing spaces survive any editor. The
// glyphs are the code page 437 characters as Unicode (byte 0 is written "␀",
// U+2400, to keep it apart from the space). Colours: 0 black, 1 blue, 2 green,
// 3 cyan, 4 red, 5 magenta, 6 brown, 7 light grey, 8 dark grey, 9-F the light
// versions, F white.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ArtKind { cells, bytes };

struct ArtPicture {
    ArtKind kind = ArtKind::cells;
    int width = 0;
    int height = 0;
    // Cells: 2 bytes each (character, attribute); byte maps: 1 byte each.
    std::vector<std::uint8_t> data;
};

// Checks made while reading cell art, reported at the offending cell.
struct ArtRules {
    // The size the picture must have (0: any), checked against the header.
    int width = 0;
    int height = 0;
    // Characters the picture must not contain (a transparent key that would
    // punch a hole into a picture meant to cover everything).
    std::string forbiddenGlyphs;
};

// Reads the text form. On failure returns false and sets `error` to
// "NAME:LINE: what is wrong" (or "NAME:LINE:COLUMN: ..." for one cell).
bool parseArtText(const std::string& text, const std::string& name, const ArtRules& rules,
                  ArtPicture& picture, std::string& error);

// Writes the text form, led by `comment` (each line prefixed with "# ").
std::string formatArtText(const ArtPicture& picture, const std::string& comment);

// Code page 437 byte <-> Unicode code point for the glyph plane.
std::uint32_t glyphCodePoint(std::uint8_t character);
// -1 if the code point is not one of the 256 glyphs.
int glyphByte(std::uint32_t codePoint);
