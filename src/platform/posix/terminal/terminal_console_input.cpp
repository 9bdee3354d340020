// The terminal console's input side: reading what the terminal sends, a
// bounded amount between two frames, decoding it into keys and mouse records,
// and taking the terminal's answers to queries (which are never keys).
#include "terminal_console.h"

#include "taken_terminal.h"

#include "app/console_host.h"
#include "platform/posix/monotonic_clock.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

void TerminalConsole::handleReply(const DecodeStep& step, std::uint32_t now) {
    switch (step.reply) {
    case TerminalReply::status:
        flow.answerReceived(now, previousPollMs);
        takenTerminal.repliesDue.store(flow.answersDue());
        takenTerminal.answerMs.store(static_cast<int>(flow.roundTripMs()));
        break;
    case TerminalReply::title:
        keepUserTitle(step.replyText, step.replyTextLength);
        break;
    case TerminalReply::directColour:
        if (!colourModeFixed && colourMode != ColourMode::trueColour) {
            colourMode = ColourMode::trueColour;
            redrawAll = true;
        }
        break;
    case TerminalReply::windowSize:
        if (step.replyColumns > 0 && step.replyRows > 0 &&
            (step.replyColumns != terminalColumns || step.replyRows != terminalRows))
            layOut(now, step.replyColumns, step.replyRows);
        break;
    case TerminalReply::noDirectColour:
    case TerminalReply::none:
        break;
    }
    if (step.fullScreen)
        fullScreenRequest = true;
}

// Reads once what the terminal has sent, if anything: false when nothing was
// read. Typed bytes count against inputBudget between two presents; pasted
// ones, dropped unread, do not.
bool TerminalConsole::readSome(std::uint32_t now) {
    if ((inputRead >= inputBudget && !decoder.inPaste()) || inputLength == sizeof(inputBytes))
        return false;
    pollfd p{inputFd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0)
        return false;
    if ((p.revents & POLLIN) == 0) {
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            consoleClosing.store(1);
        return false;
    }
    std::size_t room = sizeof(inputBytes) - inputLength;
    if (!decoder.inPaste() && room > inputBudget - inputRead)
        room = inputBudget - inputRead;
    const ssize_t n = read(inputFd, inputBytes + inputLength, room);
    if (n > 0) {
        inputLength += static_cast<std::size_t>(n);
        if (!decoder.inPaste())
            inputRead += static_cast<std::size_t>(n);
        lastInputMs = now;
        return true;
    }
    if (n == 0 || errno == EIO) {
        // End of input: the terminal is gone, as with a hang-up.
        consoleClosing.store(1);
    }
    return false;
}

// Decodes the bytes read into the queue while the queue has room.
void TerminalConsole::decodeInput(std::uint32_t now) {
    const std::uint32_t idle = now - lastInputMs;
    std::size_t start = 0;
    // A step gives at most two records (a key's press and release).
    while (start < inputLength && queue.room() >= 2) {
        const std::size_t rest = inputLength - start;
        // A lone Escape waits briefly; a piece of a longer sequence, split by
        // the link, waits for its rest much longer.
        const bool loneEscape = rest == 1 && inputBytes[start] == 0x1B;
        const bool endOfInput = idle >= (loneEscape ? escapeWaitMs : sequenceWaitMs);
        const DecodeStep step = decoder.decode(inputBytes + start, rest, endOfInput, now);
        if (step.used == 0)
            break;
        start += step.used;
        if (step.reply != TerminalReply::none || step.fullScreen)
            handleReply(step, now);
        for (int i = 0; i < step.count; ++i)
            queue.push(step.records[i]);
    }
    std::memmove(inputBytes, inputBytes + start, inputLength - start);
    inputLength -= start;
}

// Reads and decodes until a record is ready or nothing more is to be read. A
// paste goes by in one call however long it is (up to a bound), so that a key
// typed after it is not held up behind it.
void TerminalConsole::pumpInput(std::uint32_t now) {
    previousPollMs = lastPollMs;
    lastPollMs = now;
    constexpr int maxReads = 256;
    for (int reads = 0; reads < maxReads && readSome(now); ++reads) {
        decodeInput(now);
        if (queue.size() > 0)
            break;
    }
    decodeInput(now);
    if (fullScreenRequest && writer.idle())
        sendControlNow();
}

bool TerminalConsole::readInput(InputRecord& record) {
    if (!isOpen)
        return false;
    if (queue.size() == 0)
        pumpInput(monotonicMilliseconds());
    return queue.pop(record);
}

// The terminal said what its title is: that is what goes back at exit, and the
// show may now set its own.
void TerminalConsole::keepUserTitle(const std::uint8_t* text, std::size_t length) {
    if (takenTerminal.userTitleLength.load() != 0)
        return;
    char* out = takenTerminal.userTitle;
    const std::size_t room = sizeof(takenTerminal.userTitle) - 8;
    std::size_t n = 0;
    std::memcpy(out, "\x1b]2;", 4);
    n = 4;
    for (std::size_t i = 0; i < length && n < room; ++i) {
        // Control bytes cannot be part of a title sequence.
        if (text[i] >= 0x20 && text[i] != 0x7F)
            out[n++] = static_cast<char>(text[i]);
    }
    out[n++] = '\x07';
    takenTerminal.userTitleLength.store(static_cast<int>(n));
    titleDirty = true;
}
