// The key decoder: terminal bytes to console input records. Knows the CSI, SS3
// and `~` key forms of xterm-compatible terminals, SGR (1006) and the older X10
// mouse reports; everything else is consumed and dropped.
//
// Index: key tables / decode (Escape, Alt, SS3) / CSI sequences / mouse
// reports. What the terminal says of itself (its answers to queries) and
// bracketed paste are decoded in key_decoder_replies.cpp.
#include "key_decoder.h"

#include <cstring>

namespace {

constexpr std::uint8_t esc = 0x1B;
// A CSI sequence longer than this is garbage; it is dropped rather than waited on.
constexpr std::size_t longestSequence = 64;
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

namespace {

// The parameters and final byte of `ESC [ ...`. `used` counts the bytes up to
// the final one; with `complete` unset, `used` is what to drop (a control byte
// cut the sequence short) or 0 (wait for more).
struct CsiSequence {
    std::uint8_t marker = 0;
    int parameters[maxParameters] = {};
    int parameterCount = 0;
    bool anyParameter = false;
    std::uint8_t final = 0;
    std::size_t used = 0;
    bool complete = false;
};

CsiSequence parseCsi(const std::uint8_t* bytes, std::size_t length, bool endOfInput) {
    CsiSequence sequence;
    std::size_t i = 2;
    if (i < length && bytes[i] >= 0x3C && bytes[i] <= 0x3F)
        sequence.marker = bytes[i++];
    int* parameters = sequence.parameters;
    int& parameterCount = sequence.parameterCount;
    for (; i < length; ++i) {
        const std::uint8_t c = bytes[i];
        if (c >= '0' && c <= '9') {
            sequence.anyParameter = true;
            if (parameterCount < maxParameters && parameters[parameterCount] < 100000)
                parameters[parameterCount] = parameters[parameterCount] * 10 + (c - '0');
        } else if (c == ';' || c == ':') {
            sequence.anyParameter = true;
            ++parameterCount;
        } else if (c >= 0x20 && c <= 0x3F) {
            // Intermediate and stray private bytes: nothing here uses them.
        } else if (c >= 0x40 && c <= 0x7E) {
            sequence.final = c;
            sequence.used = i + 1;
            sequence.complete = true;
            return sequence;
        } else {
            // A control byte (a new Escape, say) cuts the sequence short: drop
            // what came before it.
            sequence.used = i;
            return sequence;
        }
    }
    // Unfinished: the rest may still be on its way. Given up, the piece is
    // dropped whole; it was never an Escape key.
    if (length > longestSequence || endOfInput)
        sequence.used = length;
    return sequence;
}

} // namespace

DecodeStep KeyDecoder::csi(const std::uint8_t* bytes, std::size_t length, bool endOfInput,
                           std::uint32_t nowMs) {
    const CsiSequence sequence = parseCsi(bytes, length, endOfInput);
    if (!sequence.complete) {
        DecodeStep step;
        step.used = sequence.used;
        return step;
    }
    const std::uint8_t marker = sequence.marker;
    const std::uint8_t final = sequence.final;
    const int* parameters = sequence.parameters;
    const std::size_t used = sequence.used;

    if (marker == '<' && (final == 'M' || final == 'm'))
        return mouse(parameters[0], parameters[1], parameters[2], final == 'm', used, nowMs);
    if (marker == 0 && final == 'M' && !sequence.anyParameter) {
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
    DecodeStep reply;
    if (marker == 0 && csiReply(final, parameters, sequence.parameterCount, used, reply))
        return reply;
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
