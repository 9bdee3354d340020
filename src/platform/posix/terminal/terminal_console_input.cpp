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
        takenTerminal.repliesDue.store(flow.repliesDue() ? 1 : 0);
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

// Reads what the terminal has sent (at most inputBudget bytes between two
// presents) and decodes it into the queue while the queue has room.
void TerminalConsole::pumpInput(std::uint32_t now) {
    if (inputRead < inputBudget && inputLength < sizeof(inputBytes)) {
        pollfd p{inputFd, POLLIN, 0};
        previousPollMs = lastPollMs;
        lastPollMs = now;
        if (poll(&p, 1, 0) > 0) {
            if (p.revents & POLLIN) {
                std::size_t room = sizeof(inputBytes) - inputLength;
                if (room > inputBudget - inputRead)
                    room = inputBudget - inputRead;
                const ssize_t n = read(inputFd, inputBytes + inputLength, room);
                if (n > 0) {
                    inputLength += static_cast<std::size_t>(n);
                    inputRead += static_cast<std::size_t>(n);
                    lastInputMs = now;
                } else if (n == 0 || errno == EIO) {
                    // End of input: the terminal is gone, as with a hang-up.
                    consoleClosing.store(1);
                }
            } else if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                consoleClosing.store(1);
            }
        }
    }
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
