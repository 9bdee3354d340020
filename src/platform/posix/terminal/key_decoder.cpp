// The key decoder: terminal bytes to console input records. Knows the CSI, SS3
// and `~` key forms of xterm-compatible terminals, SGR (1006) and the older X10
// mouse reports; everything else is consumed and dropped.
//
// Index: key tables / decode (Escape, Alt, SS3) / CSI sequences / strings the
// terminal sends in answer / bracketed paste / mouse reports.
#include "key_decoder.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr std::uint8_t esc = 0x1B;
// A CSI sequence longer than this is garbage; it is dropped rather than waited on.
constexpr std::size_t longestSequence = 64;
// The same for the terminal's string replies (DCS, OSC, APC).
constexpr std::size_t longestString = 128;
constexpr int maxParameters = 4;

DecodeStep keyPress(std::uint16_t virtualKeyCode, std::size_t used) {
    DecodeStep step;
    step.used = used;
    if (virtualKeyCode == 0)
        return step;
    // Terminals report presses only: each press is a key-down and a key-up.
    step.count = 2;
    for (int i = 0; i < 2; ++i) {
        step.records[i].eventType = InputRecord::keyEvent;
        step.records[i].keyDown = i == 0;
        step.records[i].virtualKeyCode = virtualKeyCode;
    }
    return step;
}

// The key of one plain byte, as the US layout names it; 0 for none.
std::uint16_t keyOfByte(std::uint8_t byte) {
    // In a terminal, q and Ctrl+C end a program: here they are Escape.
    if (byte == 'q' || byte == 'Q' || byte == 0x03)
        return virtualKey::escape;
    if (byte >= 'a' && byte <= 'z')
        return static_cast<std::uint16_t>(byte - 'a' + 'A');
    if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9'))
        return byte;
    switch (byte) {
    case 0x00: // Ctrl+Space
    case ' ':
        return virtualKey::space;
    case '\r':
    case '\n':
        return virtualKey::enter;
    case '\t':
        return virtualKey::tab;
    case 0x7F:
    case 0x08:
        return virtualKey::back;
    case esc:
        return virtualKey::escape;
    default:
        break;
    }
    // Ctrl+letter arrives as 1-26 (signal keys are off: Ctrl+Z is the Z key).
    if (byte >= 0x01 && byte <= 0x1A)
        return static_cast<std::uint16_t>(byte - 1 + 'A');
    // Shifted digits and punctuation (the OEM keys of the US layout).
    static const char shiftedDigits[] = ")!@#$%^&*(";
    if (byte != 0) {
        if (const char* p = std::strchr(shiftedDigits, byte))
            return static_cast<std::uint16_t>('0' + (p - shiftedDigits));
    }
    struct Oem {
        char plain, shifted;
        std::uint16_t code;
    };
    static const Oem oem[] = {{';', ':', 0xBA}, {'=', '+', 0xBB}, {',', '<', 0xBC},
                              {'-', '_', 0xBD}, {'.', '>', 0xBE}, {'/', '?', 0xBF},
                              {'`', '~', 0xC0}, {'[', '{', 0xDB}, {'\\', '|', 0xDC},
                              {']', '}', 0xDD}, {'\'', '"', 0xDE}};
    for (const Oem& key : oem) {
        if (byte == static_cast<std::uint8_t>(key.plain) ||
            byte == static_cast<std::uint8_t>(key.shifted))
            return key.code;
    }
    return 0;
}

// The final byte of `ESC [ ... X` or `ESC O X` for the cursor and function
// keys: the arrows, Home, End, and F1 to F4 as P to S.
std::uint16_t keyOfFinal(std::uint8_t final) {
    using namespace virtualKey;
    constexpr char finals[] = "ABCDHFPQRS";
    constexpr std::uint16_t keys[] = {up, down, right, left, home, end, f1, f1 + 1, f1 + 2, f1 + 3};
    for (std::size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i)
        if (static_cast<std::uint8_t>(finals[i]) == final)
            return keys[i];
    return 0;
}

// The number in `ESC [ n ~`: 1 and 7 Home, 2 Insert, 3 Delete, 4 and 8 End,
// 5 and 6 Page Up and Down; F1-F5 are 11-15, F6-F10 17-21, F11 and F12 23 and 24.
std::uint16_t keyOfTilde(int number) {
    using namespace virtualKey;
    constexpr std::uint16_t keys[] = {0,      home,   insert,  del,    end,    pageUp, pageDown,
                                      home,   end,    0,       0,      f1,     f1 + 1, f1 + 2,
                                      f1 + 3, f1 + 4, 0,       f1 + 5, f1 + 6, f1 + 7, f1 + 8,
                                      f1 + 9, 0,      f1 + 10, f1 + 11};
    constexpr int count = sizeof keys / sizeof keys[0];
    return number >= 0 && number < count ? keys[number] : 0;
}

std::uint32_t buttonBit(int button) {
    switch (button) {
    case 0:
        return mouseButton::left;
    case 1:
        return mouseButton::middle;
    case 2:
        return mouseButton::right;
    default:
        return 0;
    }
}

std::int16_t clampToFrame(int value, int size) {
    if (value >= size)
        value = size - 1;
    if (value < 0)
        value = 0;
    return static_cast<std::int16_t>(value);
}

} // namespace

DecodeStep KeyDecoder::decode(const std::uint8_t* bytes, std::size_t length, bool endOfInput,
                              std::uint32_t nowMs) {
    if (length == 0)
        return DecodeStep{};
    if (pasting)
        return pasted(bytes, length, endOfInput);
    if (bytes[0] != esc)
        return keyPress(keyOfByte(bytes[0]), 1);

    if (length == 1)
        return endOfInput ? keyPress(virtualKey::escape, 1) : DecodeStep{};
    switch (bytes[1]) {
    case '[':
        return csi(bytes, length, endOfInput, nowMs);
    case 'P':
    case ']':
        if (mayBeStringReply(bytes, length, endOfInput))
            return controlString(bytes, length, endOfInput);
        break;
    case '\r':
    case '\n': {
        DecodeStep step;
        step.used = 2;
        step.fullScreen = true;
        return step;
    }
    case 'O':
        if (length == 2) {
            // Split after `ESC O`: wait for the rest, and drop it if none comes.
            DecodeStep step;
            if (endOfInput)
                step.used = 2;
            return step;
        }
        // Alt+O followed by a control byte (another Escape, say) is no SS3 key.
        if (bytes[2] < 0x40 || bytes[2] > 0x7E)
            return keyPress('O', 2);
        if (bytes[2] == 'M')
            return keyPress(virtualKey::enter, 3);
        return keyPress(keyOfFinal(bytes[2]), 3);
    default:
        break;
    }
    // Alt with a printable key comes as Escape and the key: the console reports
    // the key itself. Anything else after Escape starts an event of its own.
    if (bytes[1] >= 0x20 && bytes[1] < 0x7F)
        return keyPress(keyOfByte(bytes[1]), 2);
    return keyPress(virtualKey::escape, 1);
}

DecodeStep KeyDecoder::csi(const std::uint8_t* bytes, std::size_t length, bool endOfInput,
                           std::uint32_t nowMs) {
    std::size_t i = 2;
    std::uint8_t marker = 0;
    if (i < length && bytes[i] >= 0x3C && bytes[i] <= 0x3F)
        marker = bytes[i++];
    int parameters[maxParameters] = {};
    int parameterCount = 0;
    bool anyParameter = false;
    for (; i < length; ++i) {
        const std::uint8_t c = bytes[i];
        if (c >= '0' && c <= '9') {
            anyParameter = true;
            if (parameterCount < maxParameters && parameters[parameterCount] < 100000)
                parameters[parameterCount] = parameters[parameterCount] * 10 + (c - '0');
        } else if (c == ';' || c == ':') {
            anyParameter = true;
            ++parameterCount;
        } else if (c >= 0x20 && c <= 0x3F) {
            // Intermediate and stray private bytes: nothing here uses them.
        } else if (c >= 0x40 && c <= 0x7E) {
            break;
        } else {
            // A control byte (a new Escape, say) cuts the sequence short: drop
            // what came before it.
            DecodeStep dropped;
            dropped.used = i;
            return dropped;
        }
    }
    if (i == length) {
        // Unfinished: the rest may still be on its way. Given up, the piece is
        // dropped whole; it was never an Escape key.
        DecodeStep step;
        if (length > longestSequence || endOfInput)
            step.used = length;
        return step;
    }
    const std::uint8_t final = bytes[i];
    const std::size_t used = i + 1;

    if (marker == '<' && (final == 'M' || final == 'm'))
        return mouse(parameters[0], parameters[1], parameters[2], final == 'm', used, nowMs);
    if (marker == 0 && final == 'M' && !anyParameter) {
        // X10 mouse: three raw bytes follow, each offset by 32.
        if (length < used + 3) {
            DecodeStep step;
            if (endOfInput)
                step.used = length;
            return step;
        }
        const int report = bytes[used] - 32;
        return mouse(report, bytes[used + 1] - 32, bytes[used + 2] - 32, (report & 3) == 3,
                     used + 3, nowMs);
    }
    if (marker == 0 && final == '~' && parameters[0] == 200 && parameterCount == 0) {
        pasting = true;
        DecodeStep step;
        step.used = used;
        return step;
    }
    if (marker == 0 && final == 'n' && parameters[0] == 0 && parameterCount == 0) {
        // Answers come in order: any string reply due came before this.
        stringRepliesDue = false;
        DecodeStep step;
        step.used = used;
        step.reply = TerminalReply::status;
        return step;
    }
    if (marker == 0 && final == 't' && parameters[0] == 8 && parameterCount == 2) {
        DecodeStep step;
        step.used = used;
        step.reply = TerminalReply::windowSize;
        step.replyRows = parameters[1];
        step.replyColumns = parameters[2];
        return step;
    }
    if (marker != 0)
        return keyPress(0, used);
    if (final == '~')
        return keyPress(keyOfTilde(parameters[0]), used);
    if (final == 'Z')
        return keyPress(virtualKey::tab, used);
    // `ESC [ row ; column R` is also a cursor report; F3 comes as `ESC [ R` or
    // `ESC [ 1 ; mods R`.
    if (final == 'R' && parameters[0] > 1)
        return keyPress(0, used);
    return keyPress(keyOfFinal(final), used);
}

// `ESC P`, `ESC ]` or `ESC _` up to the string terminator (`ESC \\`, or BEL
// for OSC): replies of the terminal, never keys. A setting report (`ESC P 1 $ r
// ... m`) of a 24-bit colour tells that the terminal keeps such colours.
DecodeStep KeyDecoder::controlString(const std::uint8_t* bytes, std::size_t length,
                                     bool endOfInput) {
    DecodeStep step;
    std::size_t end = 2;
    while (end < length && bytes[end] != 0x07 && bytes[end] != esc)
        ++end;
    if (end < length && bytes[end] == esc && end + 1 >= length) {
        // `ESC` at the end: the terminator may be split, unless the string is
        // already too long to be a reply (then it goes, as an endless one does).
        if (length > longestString || endOfInput)
            step.used = length;
        return step;
    }
    if (end == length) {
        if (length > longestString || endOfInput)
            step.used = length;
        return step;
    }
    // Ends at BEL, at `ESC \`, or is cut short by an Escape that starts
    // something else (which is left alone).
    const bool terminated = bytes[end] == 0x07 || bytes[end + 1] == '\\';
    step.used = bytes[end] == 0x07 ? end + 1 : (terminated ? end + 2 : end);
    if (terminated && bytes[1] == ']' && bytes[2] == 'l') {
        step.reply = TerminalReply::title;
        step.replyText = bytes + 3;
        step.replyTextLength = end - 3;
        return step;
    }
    if (!terminated || bytes[1] != 'P' || end < 5 || bytes[3] != '$' || bytes[4] != 'r')
        return step;
    if (bytes[2] == '0') {
        step.reply = TerminalReply::noDirectColour;
    } else if (bytes[2] == '1' && bytes[end - 1] == 'm') {
        // The report lists the colour as 38:2:... or 38;2;... (38:2::... with a
        // colour-space slot); anything else is a terminal that dropped it.
        bool direct = false;
        for (std::size_t i = 5; i + 3 < end; ++i) {
            if (bytes[i] == '3' && bytes[i + 1] == '8' &&
                (bytes[i + 2] == ':' || bytes[i + 2] == ';') && bytes[i + 3] == '2')
                direct = true;
        }
        step.reply = direct ? TerminalReply::directColour : TerminalReply::noDirectColour;
    }
    return step;
}

// The strings a terminal sends in answer to the show's queries start so: a
// setting report (`ESC P 1 $ r`, or `0 $ r` for none), a title report
// (`ESC ] l`) and other operating-system reports (`ESC ]` and a number). An unfinished start waits
// for more bytes unless none are coming.
bool KeyDecoder::mayBeStringReply(const std::uint8_t* bytes, std::size_t length,
                                  bool endOfInput) const {
    if (!stringRepliesDue)
        return false;
    if (bytes[1] == ']' && length > 2)
        return bytes[2] == 'l' || (bytes[2] >= '0' && bytes[2] <= '9');
    for (const char* prefix : {"P1$r", "P0$r", "]l"}) {
        const std::size_t wanted = std::strlen(prefix);
        const std::size_t have = length - 1 < wanted ? length - 1 : wanted;
        if (std::memcmp(bytes + 1, prefix, have) == 0)
            return have == wanted || !endOfInput;
    }
    return false;
}

// Pasted text up to the end of the paste (`ESC [ 2 0 1 ~`) is dropped in one
// step however long it is; a possible start of the end marker waits for more.
DecodeStep KeyDecoder::pasted(const std::uint8_t* bytes, std::size_t length, bool endOfInput) {
    static constexpr std::uint8_t endMarker[] = {esc, '[', '2', '0', '1', '~'};
    constexpr std::size_t markerLength = sizeof(endMarker);
    DecodeStep step;
    std::size_t at = 0;
    while (at < length) {
        const void* found = std::memchr(bytes + at, esc, length - at);
        if (found == nullptr) {
            step.used = length;
            return step;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes);
        const std::size_t have = length - at < markerLength ? length - at : markerLength;
        if (std::memcmp(bytes + at, endMarker, have) == 0) {
            if (have == markerLength) {
                pasting = false;
                step.used = at + markerLength;
                return step;
            }
            // The marker may be split: what came before it goes now.
            step.used = at > 0 ? at : (endOfInput ? length : 0);
            return step;
        }
        ++at;
    }
    step.used = length;
    return step;
}

DecodeStep KeyDecoder::mouse(int report, int column, int row, bool release, std::size_t used,
                             std::uint32_t nowMs) {
    DecodeStep step;
    step.used = used;
    if (!mouseOn)
        return step;

    const int button = report & 3;
    const std::uint32_t bit = buttonBit(button);
    std::uint32_t flags = 0;
    std::uint32_t wheel = 0;
    if (report & 64) {
        // Wheel: up and down carry the console's +-120 in the high word.
        if (button >= 2) {
            flags = 0x8;
        } else {
            flags = mouseFlag::wheeled;
            wheel = static_cast<std::uint32_t>(button == 0 ? 120 : -120) << 16;
        }
    } else if (report & 32) {
        // Motion reports name the held button, or 3 when none is held.
        flags = mouseFlag::moved;
        heldButtons = bit == 0 ? 0 : (heldButtons | bit);
    } else if (release) {
        // X10 releases do not say which button.
        heldButtons = bit == 0 ? 0 : (heldButtons & ~bit);
    } else if (bit != 0) {
        heldButtons |= bit;
        if (bit == lastPressButton && nowMs - lastPressMs <= doubleClickMs) {
            flags = mouseFlag::doubleClick;
            // A third press starts over, as on the console.
            lastPressButton = 0;
        } else {
            lastPressButton = bit;
            lastPressMs = nowMs;
        }
    }

    step.count = 1;
    InputRecord& record = step.records[0];
    record.eventType = InputRecord::mouseEvent;
    record.mouseX = clampToFrame(column - 1 - originColumn, frameWidth);
    record.mouseY = clampToFrame(row - 1 - originRow, frameHeight);
    record.buttonState = heldButtons | wheel;
    record.eventFlags = flags;
    return step;
}
