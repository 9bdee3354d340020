// The key decoder: turns the bytes a terminal sends into the console's input
// records (Windows virtual-key codes, mouse records with button bits and the
// double-click flag), and tells apart what is no input: the terminal's replies
// to queries and pasted text. Pure: the caller reads the bytes and supplies
// the time. key_decoder.cpp decodes the keys and the mouse,
// key_decoder_replies.cpp the replies and pastes.
#pragma once

#include "app/input.h"

#include <cstddef>
#include <cstdint>

// A second press of the same button within this many milliseconds is a double click.
constexpr std::uint32_t doubleClickMs = 500;

// What the terminal said of itself, rather than a key.
enum class TerminalReply : std::uint8_t {
    none,
    status,       // `ESC [ 0 n`: everything sent before the query has been shown
    directColour, // a setting report naming a 24-bit colour: it keeps one
    noDirectColour,
    windowSize, // `ESC [ 8 ; rows ; columns t`: the text area's size
    title,      // `ESC ] l title ESC \\`: the window title (replyText)
};

struct DecodeStep {
    // Bytes consumed from the front. 0: the bytes so far may be the start of a
    // longer sequence; call again with more bytes, or with endOfInput set once
    // no more are coming.
    std::size_t used = 0;
    // Records produced by those bytes: none, a key-down and its key-up, or one
    // mouse record.
    int count = 0;
    InputRecord records[2];
    // Set instead of records for the terminal's replies to queries.
    TerminalReply reply = TerminalReply::none;
    int replyRows = 0;
    int replyColumns = 0;
    // The title of a title report: a piece of the decoded bytes.
    const std::uint8_t* replyText = nullptr;
    std::size_t replyTextLength = 0;
    // Alt+Enter (Escape then Enter): the console's full-screen key.
    bool fullScreen = false;
};

// How long the console waits before giving up on more bytes: a lone Escape
// becomes the Escape key after the short wait, an unfinished longer sequence
// (split by a slow link) is dropped only after the long one.
constexpr std::uint32_t escapeWaitMs = 30;
constexpr std::uint32_t sequenceWaitMs = 500;

class KeyDecoder {
  public:
    // Decodes the first event of `bytes`. With `endOfInput` nothing more is on
    // its way, so an unfinished sequence is resolved: a lone Escape is the
    // Escape key, anything longer is dropped (it is never Escape and keys).
    // `nowMs` (wrapping milliseconds) times double clicks.
    DecodeStep decode(const std::uint8_t* bytes, std::size_t length, bool endOfInput,
                      std::uint32_t nowMs);

    // Where frame cell (0, 0) is on the terminal (0-based, negative when the
    // frame is cropped) and the frame's size: mouse positions are turned into
    // frame cells and clamped to the frame.
    void setFrameOrigin(int column, int row, int frameWidth, int frameHeight) {
        originColumn = column;
        originRow = row;
        this->frameWidth = frameWidth;
        this->frameHeight = frameHeight;
    }

    // Mouse reports are decoded into records only while this is set.
    bool mouseOn = false;
    // A query whose answer is a string (a setting or title report) is on its
    // way; until the next status answer, `ESC P` and `ESC ]` may start one.
    // Otherwise they are Alt+P and Alt+], and `ESC _` always is Alt+_.
    bool stringRepliesDue = false;
    // Inside a bracketed paste: what is pasted is dropped, never keys.
    bool inPaste() const { return pasting; }

  private:
    bool mayBeStringReply(const std::uint8_t* bytes, std::size_t length, bool endOfInput) const;
    DecodeStep pasted(const std::uint8_t* bytes, std::size_t length, bool endOfInput);
    DecodeStep csi(const std::uint8_t* bytes, std::size_t length, bool endOfInput,
                   std::uint32_t nowMs);
    bool csiReply(std::uint8_t final, const int* parameters, int parameterCount, std::size_t used,
                  DecodeStep& step);
    DecodeStep controlString(const std::uint8_t* bytes, std::size_t length, bool endOfInput);
    DecodeStep mouse(int report, int column, int row, bool release, std::size_t used,
                     std::uint32_t nowMs);

    int originColumn = 0;
    int originRow = 0;
    int frameWidth = 80;
    int frameHeight = 50;
    // Buttons held as far as the reports tell, and the last single press.
    std::uint32_t heldButtons = 0;
    std::uint32_t lastPressButton = 0;
    std::uint32_t lastPressMs = 0;
    bool pasting = false;
};
