// Reading and writing the text form of cell art and byte maps.
//
// Index: UTF-8 and hexadecimal helpers - the line reader and the planes it
// reads - glyph look-ups - parseArtText - formatArtText
#include "art_text.h"

#include "imaging/cp437.h"

#include <cstdio>
#include <sstream>
#include <unordered_map>

namespace {

// --- UTF-8 and hexadecimal helpers ---

constexpr std::uint32_t nullGlyph = 0x2400; // "␀"

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`; false on malformed input.
bool nextCodePoint(const std::string& s, std::size_t& pos, std::uint32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    int extra = 0;
    if (b0 < 0x80) {
        code = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        code = b0 & 0x1Fu;
        extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
        code = b0 & 0x0Fu;
        extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
        code = b0 & 0x07u;
        extra = 3;
    } else {
        return false;
    }
    if (pos + extra >= s.size())
        return false;
    for (int i = 1; i <= extra; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return false;
        code = (code << 6) | (byte(pos + i) & 0x3Fu);
    }
    // Overlong forms would give one glyph two spellings.
    static const std::uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra])
        return false;
    pos += 1 + extra;
    return true;
}

std::string describe(std::uint32_t code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code));
    std::string text;
    if (code >= 0x20 && code != 0x7F) {
        text = "\"";
        appendUtf8(text, code);
        text += "\" (";
        text += buffer;
        text += ")";
        return text;
    }
    return buffer;
}

int hexValue(std::uint32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

const char hexDigits[] = "0123456789ABCDEF";

// --- The line reader and the planes it reads ---

// Reads the text line by line, skipping blank and comment lines.
class LineReader {
  public:
    LineReader(const std::string& text, const std::string& name) : in(text), name(name) {}

    bool next(std::string& line) {
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const auto first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#')
                continue;
            return true;
        }
        atEnd = true;
        return false;
    }

    std::string where() const {
        return name + ":" + std::to_string(number) + (atEnd ? " (end of file)" : "");
    }
    std::string where(int column) const {
        return name + ":" + std::to_string(number) + ":" + std::to_string(column);
    }

  private:
    std::istringstream in;
    std::string name;
    int number = 0;
    bool atEnd = false;
};

// Splits a "|...|" row into its code points, checking the bars and the count.
bool readRow(LineReader& reader, const std::string& plane, int rowIndex, int width,
             std::vector<std::uint32_t>& codes, std::string& error) {
    std::string line;
    const std::string which = plane + " row " + std::to_string(rowIndex + 1);
    if (!reader.next(line)) {
        error = reader.where() + ": " + which + " is missing";
        return false;
    }
    if (line.empty() || line[0] != '|') {
        error = reader.where() + ": " + which + " must start with '|'";
        return false;
    }
    codes.clear();
    std::size_t pos = 1;
    while (pos < line.size()) {
        std::uint32_t code = 0;
        if (!nextCodePoint(line, pos, code)) {
            error = reader.where(static_cast<int>(codes.size()) + 1) + ": " + which +
                    " is not valid UTF-8";
            return false;
        }
        codes.push_back(code);
    }
    if (codes.empty() || codes.back() != '|') {
        error = reader.where() + ": " + which + " must end with '|'";
        return false;
    }
    codes.pop_back();
    if (static_cast<int>(codes.size()) != width) {
        error = reader.where() + ": " + which + " has " + std::to_string(codes.size()) +
                " cells between the bars, expected " + std::to_string(width);
        return false;
    }
    return true;
}

bool expectKeyword(LineReader& reader, const std::string& keyword, std::string& error) {
    std::string line;
    if (!reader.next(line)) {
        error = reader.where() + ": expected \"" + keyword + "\"";
        return false;
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    if (line != keyword) {
        error = reader.where() + ": expected \"" + keyword + "\", found \"" + line + "\"";
        return false;
    }
    return true;
}

// Reads a plane of one character a cell. `take(code, cell)` stores the cell's
// value, or says why the character is refused (null when it is taken).
template <class Take>
bool readCellPlane(LineReader& reader, const std::string& plane, const ArtPicture& picture,
                   std::string& error, Take take) {
    std::vector<std::uint32_t> codes;
    for (int y = 0; y < picture.height; ++y) {
        if (!readRow(reader, plane, y, picture.width, codes, error))
            return false;
        for (int x = 0; x < picture.width; ++x) {
            const char* refused = take(codes[x], static_cast<std::size_t>(y) * picture.width + x);
            if (refused) {
                error = reader.where(x + 1) + ": " + describe(codes[x]) + refused;
                return false;
            }
        }
    }
    return true;
}

bool readGlyphPlane(LineReader& reader, const ArtRules& rules, ArtPicture& picture,
                    std::string& error) {
    return readCellPlane(
        reader, "glyphs", picture, error, [&](std::uint32_t code, std::size_t cell) -> const char* {
            const int byte = glyphByte(code);
            if (byte < 0)
                return " is not a code page 437 character";
            if (rules.forbiddenGlyphs.find(static_cast<char>(byte)) != std::string::npos)
                return " is not allowed in this picture";
            picture.data[2 * cell] = static_cast<std::uint8_t>(byte);
            return nullptr;
        });
}

// shift 0: foreground (low nibble), 4: background (high nibble).
bool readColourPlane(LineReader& reader, const std::string& plane, int shift, ArtPicture& picture,
                     std::string& error) {
    return readCellPlane(
        reader, plane, picture, error, [&](std::uint32_t code, std::size_t cell) -> const char* {
            const int value = hexValue(code);
            if (value < 0)
                return " is not a colour digit (0-9, A-F)";
            picture.data[2 * cell + 1] |= static_cast<std::uint8_t>(value << shift);
            return nullptr;
        });
}

bool readBytePlane(LineReader& reader, ArtPicture& picture, std::string& error) {
    std::vector<std::uint32_t> codes;
    for (int y = 0; y < picture.height; ++y) {
        if (!readRow(reader, "bytes", y, 2 * picture.width, codes, error))
            return false;
        for (int x = 0; x < picture.width; ++x) {
            const int high = hexValue(codes[2 * x]);
            const int low = hexValue(codes[2 * x + 1]);
            if (high < 0 || low < 0) {
                const int column = 2 * x + (high < 0 ? 1 : 2);
                error = reader.where(column) + ": " + describe(codes[column - 1]) +
                        " is not a hexadecimal digit";
                return false;
            }
            picture.data[static_cast<std::size_t>(y) * picture.width + x] =
                static_cast<std::uint8_t>(high * 16 + low);
        }
    }
    return true;
}

} // namespace

// --- Glyph look-ups ---

std::uint32_t glyphCodePoint(std::uint8_t character) {
    return character == 0 ? nullGlyph : cp437Unicode[character];
}

int glyphByte(std::uint32_t codePoint) {
    static const std::unordered_map<std::uint32_t, int> table = [] {
        std::unordered_map<std::uint32_t, int> t;
        for (int b = 0; b < 256; ++b)
            t.emplace(glyphCodePoint(static_cast<std::uint8_t>(b)), b);
        return t;
    }();
    const auto found = table.find(codePoint);
    return found == table.end() ? -1 : found->second;
}

// --- parseArtText ---

bool parseArtText(const std::string& text, const std::string& name, const ArtRules& rules,
                  ArtPicture& picture, std::string& error) {
    LineReader reader(text, name);
    std::string line;
    if (!reader.next(line)) {
        error = reader.where() + ": expected \"cells WIDTH HEIGHT\" or \"bytes WIDTH HEIGHT\"";
        return false;
    }
    std::istringstream header(line);
    std::string kind, rest;
    int width = 0, height = 0;
    if (!(header >> kind >> width >> height) || (header >> rest) ||
        (kind != "cells" && kind != "bytes")) {
        error = reader.where() + ": expected \"cells WIDTH HEIGHT\" or \"bytes WIDTH HEIGHT\"";
        return false;
    }
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        error = reader.where() + ": the size must be 1 to 4096 each way";
        return false;
    }
    if ((rules.width && width != rules.width) || (rules.height && height != rules.height)) {
        error = reader.where() + ": the picture is " + std::to_string(width) + " x " +
                std::to_string(height) + ", the show needs " + std::to_string(rules.width) + " x " +
                std::to_string(rules.height);
        return false;
    }
    picture = ArtPicture{};
    picture.kind = kind == "cells" ? ArtKind::cells : ArtKind::bytes;
    picture.width = width;
    picture.height = height;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    picture.data.assign(picture.kind == ArtKind::cells ? 2 * count : count, 0);

    if (picture.kind == ArtKind::bytes) {
        if (!readBytePlane(reader, picture, error))
            return false;
    } else {
        if (!expectKeyword(reader, "glyphs", error) ||
            !readGlyphPlane(reader, rules, picture, error) ||
            !expectKeyword(reader, "foreground", error) ||
            !readColourPlane(reader, "foreground", 0, picture, error) ||
            !expectKeyword(reader, "background", error) ||
            !readColourPlane(reader, "background", 4, picture, error))
            return false;
    }
    if (reader.next(line)) {
        error = reader.where() + ": unexpected text after the last row";
        return false;
    }
    return true;
}

// --- formatArtText ---

std::string formatArtText(const ArtPicture& picture, const std::string& comment) {
    std::string out;
    std::istringstream lines(comment);
    std::string line;
    while (std::getline(lines, line))
        out += line.empty() ? "#\n" : "# " + line + "\n";
    const int w = picture.width;
    const auto at = [&](int x, int y, int k) {
        return picture
            .data[(static_cast<std::size_t>(y) * w + x) * (picture.kind == ArtKind::cells ? 2 : 1) +
                  k];
    };
    if (picture.kind == ArtKind::bytes) {
        out += "bytes " + std::to_string(w) + " " + std::to_string(picture.height) + "\n";
        for (int y = 0; y < picture.height; ++y) {
            out += '|';
            for (int x = 0; x < w; ++x) {
                out += hexDigits[at(x, y, 0) >> 4];
                out += hexDigits[at(x, y, 0) & 15];
            }
            out += "|\n";
        }
        return out;
    }
    out += "cells " + std::to_string(w) + " " + std::to_string(picture.height) + "\nglyphs\n";
    for (int y = 0; y < picture.height; ++y) {
        out += '|';
        for (int x = 0; x < w; ++x)
            appendUtf8(out, glyphCodePoint(at(x, y, 0)));
        out += "|\n";
    }
    for (int shift : {0, 4}) {
        out += shift == 0 ? "foreground\n" : "background\n";
        for (int y = 0; y < picture.height; ++y) {
            out += '|';
            for (int x = 0; x < w; ++x)
                out += hexDigits[(at(x, y, 1) >> shift) & 15];
            out += "|\n";
        }
    }
    return out;
}
