// Terminal capabilities from terminfo and the environment, and the glyph table
// for terminals whose encoding is not UTF-8.
//
//   describeTerminal      what terminfo says (with describePalette and
//                         describeDecGraphics), corrected for a few names
//   chooseColourMode,     the colours and the encoding to use
//   charsetOfLocale
//   buildGlyphTable       each code page 437 byte as the terminal can show it:
//                         the shades, blocks and lines, then the symbols
//   describeApproximations, wrapAtWords   the notice of what is approximated
#include "terminal_caps.h"

#include "imaging/cp437.h"
#include "imaging/vga_palette.h"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>
#include <unistd.h>

// term.h defines macros named after every capability (columns, lines, tab...):
// it comes last, and nothing below uses those names.
#include <curses.h>
#include <term.h>

namespace {

bool startsWith(const char* text, const char* prefix) {
    return text != nullptr && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// tigetstr gives (char*)-1 for a name that is no string capability.
const char* stringCap(const char* name) {
    const char* value = tigetstr(const_cast<char*>(name));
    if (value == nullptr || reinterpret_cast<std::intptr_t>(value) == -1 || value[0] == '\0')
        return nullptr;
    return value;
}

bool flagCap(const char* name) {
    return tigetflag(const_cast<char*>(name)) > 0;
}

void copyCap(char* out, std::size_t size, const char* value) {
    if (value != nullptr && std::strlen(value) < size)
        std::memcpy(out, value, std::strlen(value) + 1);
    else
        out[0] = '\0';
}

char failureText[96];

// An ASCII look-alike of each code page 437 picture that is not ASCII (the
// control-range pictures 0x01-0x1F, 0x7F, and the letters and symbols from
// 0x80), so that a terminal without them still shows something readable: the
// starfield's ☼ centres as `*`, ≈ as `~`, é as `e`. Only ¿ stays a question mark.
char plainStandIn(int byte) {
    static const char low[] = " oov+++*#o#oodd*><|!PS-|^v><L-^v";
    static const char high[] = "CueaaaaceeeiiiAAEaAooouuyOUcLYPfaiounNao?--24!<>"
                               "................................................"
                               "aBGnEsutOOOd8oen=+><()/~o..vn2# ";
    if (byte >= 0 && byte < 0x20)
        return low[byte];
    if (byte == 0x7F)
        return '^';
    if (byte >= 0x80 && byte <= 0xFF)
        return high[byte - 0x80];
    return static_cast<char>(byte);
}

// Whether the description can set the palette (and put it back), and the
// sequences that set the console colours.
void describePalette(TerminalCaps& caps) {
    const char* initc = stringCap("initc");
    const char* originalColours = stringCap("oc");
    caps.setPalette =
        flagCap("ccc") && initc != nullptr && originalColours != nullptr && caps.colours >= 8;
    if (caps.setPalette) {
        copyCap(caps.resetPalette, sizeof(caps.resetPalette), originalColours);
        const int count = caps.colours >= 16 ? 16 : 8;
        for (int n = 0; n < count; ++n) {
            // The console colour of ANSI number n (the swap is its own inverse).
            const VgaColour& c = vgaPalette[ansiOfConsole(static_cast<unsigned>(n))];
            // Rounded up: the description scales back with truncation.
            const char* set = tiparm(initc, n, (c.r * 1000 + 254) / 255, (c.g * 1000 + 254) / 255,
                                     (c.b * 1000 + 254) / 255);
            copyCap(caps.palette[n], sizeof(caps.palette[n]), set);
        }
        if (caps.resetPalette[0] == '\0')
            caps.setPalette = false;
    }
}

// DEC graphics where the description maps the checkerboard and the lines.
void describeDecGraphics(TerminalCaps& caps) {
    const char* acsc = stringCap("acsc");
    const char* smacs = stringCap("smacs");
    const char* rmacs = stringCap("rmacs");
    bool mapped = acsc != nullptr;
    for (const char c : std::string("aqxlkmjtuvwn")) {
        bool found = false;
        for (const char* p = acsc; p != nullptr && p[0] != '\0' && p[1] != '\0'; p += 2)
            found = found || (p[0] == c && p[1] == c);
        mapped = mapped && found;
    }
    caps.decGraphics = mapped && smacs != nullptr && rmacs != nullptr && std::strlen(smacs) <= 4 &&
                       std::strlen(rmacs) <= 4;
    if (caps.decGraphics) {
        copyCap(caps.decOn, sizeof(caps.decOn), smacs);
        copyCap(caps.decOff, sizeof(caps.decOff), rmacs);
        copyCap(caps.decEnable, sizeof(caps.decEnable), stringCap("enacs"));
    }
}

} // namespace

bool describeTerminal(const char* term, TerminalCaps& caps) {
    caps = TerminalCaps{};
    const bool noTitleStack = startsWith(term, "rxvt") || startsWith(term, "st-") ||
                              (term != nullptr && std::strcmp(term, "st") == 0);
    caps.titleStack = !noTitleStack;
    caps.colours = term != nullptr && std::strstr(term, "256color") != nullptr ? 256 : 8;
    if (term == nullptr || term[0] == '\0')
        return true;

    int error = 0;
    if (setupterm(const_cast<char*>(term), STDERR_FILENO, &error) != OK || cur_term == nullptr) {
        if (std::strcmp(term, "dumb") == 0) {
            caps.cursorAddressing = false;
            caps.failure = "TERM=dumb cannot address the cursor";
            return false;
        }
        return true;
    }
    caps.described = true;
    caps.cursorAddressing = stringCap("cup") != nullptr;
    caps.alternateScreen = stringCap("smcup") != nullptr;
    caps.hideCursor = stringCap("civis") != nullptr;
    const bool xtermLike = flagCap("XT");
    caps.title = xtermLike || stringCap("tsl") != nullptr;
    caps.titleStack = caps.title && !noTitleStack && (xtermLike || startsWith(term, "tmux"));
    caps.mouse = stringCap("kmous") != nullptr || xtermLike;
    caps.windowOps = xtermLike || startsWith(term, "rxvt") || startsWith(term, "mlterm");
    caps.colours = tigetnum(const_cast<char*>("colors"));
    if (caps.colours < 0)
        caps.colours = 0;
    caps.directColour = flagCap("RGB") || flagCap("Tc") || caps.colours >= (1 << 24);

    describePalette(caps);
    // mlterm draws 24-bit colours (the VGA ones exactly) but neither its
    // description nor COLORTERM says so, and its own 16 colours are not VGA's;
    // its palette cannot be put back once changed (it has no OSC 104).
    if (isMlterm(term, std::getenv("MLTERM")))
        caps.directColour = true;

    describeDecGraphics(caps);

    del_curterm(cur_term);
    cur_term = nullptr;
    if (!caps.cursorAddressing) {
        std::snprintf(failureText, sizeof(failureText), "TERM=%.40s cannot address the cursor",
                      term);
        caps.failure = failureText;
        return false;
    }
    return true;
}

bool isMlterm(const char* term, const char* mltermVersion) {
    return startsWith(term, "mlterm") ||
           (startsWith(term, "xterm") && mltermVersion != nullptr && mltermVersion[0] != '\0');
}

ColourMode chooseColourMode(const TerminalCaps& caps, const char* colorTerm) {
    if (colorTerm != nullptr &&
        (std::strcmp(colorTerm, "truecolor") == 0 || std::strcmp(colorTerm, "24bit") == 0))
        return ColourMode::trueColour;
    if (caps.directColour)
        return ColourMode::trueColour;
    if (caps.colours >= 256)
        return ColourMode::xterm256;
    return ColourMode::ansi16;
}

Charset charsetOfLocale() {
    // The program itself runs in the C locale; the terminal's encoding is the
    // one the user's environment names.
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current != nullptr ? current : "C";
    std::setlocale(LC_CTYPE, "");
    const std::string codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.c_str());
    std::string name;
    for (char c : codeset) {
        if (c != '-' && c != '_')
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (name == "UTF8")
        return Charset::utf8;
    if (name == "ISO88591" || name == "ISO885915")
        return Charset::latin1;
    return Charset::ascii;
}

const char* charsetName(Charset charset) {
    switch (charset) {
    case Charset::utf8:
        return "UTF-8";
    case Charset::latin1:
        return "Latin-1";
    case Charset::ascii:
        break;
    }
    return "ASCII";
}

namespace {

void setGlyph(GlyphTable& table, int byte, char c, std::uint8_t flags) {
    table.bytes[byte][0] = c;
    table.length[byte] = 1;
    table.flags[byte] = flags;
}

// The shades, blocks and box-drawing lines (0xB0-0xDF, 0xFE) on a terminal
// that has no such characters: DEC graphics where it has them, ASCII
// otherwise. False for any other byte.
bool setBlockGlyph(GlyphTable& table, int byte, bool dec) {
    const std::uint8_t decFlag = dec ? GlyphTable::decGlyph : 0;
    switch (byte) {
    case 0xB0: // light shade
        setGlyph(table, byte, ':', 0);
        table.approximatesShades = true;
        return true;
    case 0xB1: // medium shade, the half blocks and the square: half covered
    case 0xFE:
    case 0xDC:
    case 0xDD:
    case 0xDE:
    case 0xDF:
        setGlyph(table, byte, dec ? 'a' : '%', decFlag);
        table.approximatesShades = true;
        return true;
    case 0xB2: // dark shade: a light one in reverse
        setGlyph(table, byte, ':', GlyphTable::reversed);
        table.approximatesShades = true;
        return true;
    case 0xDB: // full block: a space in reverse, exact
        setGlyph(table, byte, ' ', GlyphTable::reversed);
        return true;
    default:
        break;
    }
    if (byte < 0xB3 || byte > 0xDA)
        return false;
    // The box-drawing bytes 0xB3-0xDA by shape: the DEC line glyph, and an
    // ASCII stand-in.
    static const char decLines[] = "xuuukkuxkjjjkmvwtqnttmlvwtqnvvwwmmllnnjl";
    static const char asciiLines[] = "|++++++|+++++++++-++++++++-+++++++++++++";
    const int shape = byte - 0xB3;
    if (dec)
        setGlyph(table, byte, decLines[shape], GlyphTable::decGlyph);
    else
        setGlyph(table, byte, asciiLines[shape], 0);
    table.approximatesLines = table.approximatesLines || !dec || cp437Unicode[byte] > 0x253C;
    return true;
}

// The rest of DEC's symbols, and an ASCII look-alike for everything else.
void setSymbolGlyph(GlyphTable& table, int byte, bool dec) {
    struct DecSymbol {
        int byte;
        char dec, plain;
    };
    static const DecSymbol symbols[] = {{0xF8, 'f', 'o'}, {0xF1, 'g', '+'}, {0xF9, '~', '.'},
                                        {0xFA, '~', '.'}, {0xF3, 'y', '<'}, {0xF2, 'z', '>'},
                                        {0xE3, '{', 'n'}, {0x9C, '}', 'L'}};
    for (const DecSymbol& s : symbols) {
        if (s.byte == byte) {
            setGlyph(table, byte, dec ? s.dec : s.plain, dec ? GlyphTable::decGlyph : 0);
            return;
        }
    }
    setGlyph(table, byte, plainStandIn(byte), 0);
    table.approximatesLetters = true;
}

} // namespace

void buildGlyphTable(Charset charset, const TerminalCaps& caps, GlyphTable& table) {
    table = GlyphTable{};
    const bool dec = caps.decGraphics && charset != Charset::utf8;
    if (dec) {
        std::memcpy(table.decOn, caps.decOn, sizeof(table.decOn));
        std::memcpy(table.decOff, caps.decOff, sizeof(table.decOff));
    }
    for (int byte = 0; byte < 256; ++byte) {
        const std::uint32_t code = cp437Unicode[byte];
        if (charset == Charset::utf8) {
            table.length[byte] = static_cast<std::uint8_t>(
                encodeCp437Utf8(static_cast<std::uint16_t>(byte), table.bytes[byte]));
        } else if (byte == 0 || code < 0x80) {
            setGlyph(table, byte, byte == 0 ? ' ' : static_cast<char>(code), 0);
        } else if (charset == Charset::latin1 && code < 0x100) {
            setGlyph(table, byte, static_cast<char>(code), 0);
        } else if (!setBlockGlyph(table, byte, dec)) {
            setSymbolGlyph(table, byte, dec);
        }
    }
}

void describeApproximations(Charset charset, const GlyphTable& table, char* out, std::size_t size) {
    std::string kinds;
    auto add = [&](bool on, const char* kind) {
        if (!on)
            return;
        if (!kinds.empty())
            kinds += ", ";
        kinds += kind;
    };
    add(table.approximatesShades, "shades");
    add(table.approximatesLines, "box lines");
    add(table.approximatesLetters, "some symbols");
    if (kinds.empty() || size == 0) {
        if (size > 0)
            out[0] = '\0';
        return;
    }
    std::snprintf(out, size,
                  "The terminal's %s encoding has no code page 437 %s; they were approximated.",
                  charsetName(charset), kinds.c_str());
}

void wrapAtWords(char* text, std::size_t width) {
    std::size_t lineStart = 0;
    std::size_t lastSpace = 0;
    bool haveSpace = false;
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] == '\n') {
            lineStart = i + 1;
            haveSpace = false;
            continue;
        }
        if (text[i] == ' ') {
            lastSpace = i;
            haveSpace = true;
        }
        // Column i - lineStart + 1 would pass the width: break at the last space.
        if (i - lineStart >= width && haveSpace && text[i] != ' ') {
            text[lastSpace] = '\n';
            lineStart = lastSpace + 1;
            haveSpace = false;
            // Spaces between lastSpace and i were passed: find the last one again.
            for (std::size_t j = lineStart; j < i; ++j) {
                if (text[j] == ' ') {
                    lastSpace = j;
                    haveSpace = true;
                }
            }
        }
    }
}
