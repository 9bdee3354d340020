// The key decoder's other half: what the terminal says rather than the keys
// it reports. The answers to the show's queries (the status report, the window
// size, the setting and title reports as control strings) and bracketed paste,
// whose text is dropped, never read as keys.
//
// Index: CSI replies / control strings / which strings may be replies /
// bracketed paste.
#include "key_decoder.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr std::uint8_t esc = 0x1B;
// The longest string reply (DCS, OSC, APC) waited on; longer is garbage and is
// dropped rather than waited on.
constexpr std::size_t longestString = 128;

} // namespace

// `ESC [ 200 ~` (a paste starts), `ESC [ 0 n` (the status report) and
// `ESC [ 8 ; rows ; columns t` (the window size), from a sequence without a
// private marker. False for any other sequence: a key, then.
bool KeyDecoder::csiReply(std::uint8_t final, const int* parameters, int parameterCount,
                          std::size_t used, DecodeStep& step) {
    step = DecodeStep{};
    step.used = used;
    if (final == '~' && parameters[0] == 200 && parameterCount == 0) {
        pasting = true;
        return true;
    }
    if (final == 'n' && parameters[0] == 0 && parameterCount == 0) {
        // Answers come in order: any string reply due came before this.
        stringRepliesDue = false;
        step.reply = TerminalReply::status;
        return true;
    }
    if (final == 't' && parameters[0] == 8 && parameterCount == 2) {
        step.reply = TerminalReply::windowSize;
        step.replyRows = parameters[1];
        step.replyColumns = parameters[2];
        return true;
    }
    return false;
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
