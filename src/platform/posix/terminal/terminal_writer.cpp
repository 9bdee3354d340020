// Sending frames to the terminal a piece at a time, never blocking.
#include "terminal_writer.h"

#include "taken_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

void TerminalWriter::open(int outputFd, bool shared) {
    close();
    gone = false;
    if (const char* name = shared ? nullptr : ttyname(outputFd)) {
        fd = ::open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && !isatty(fd)) {
            ::close(fd);
            fd = -1;
        }
        ownsFd = fd >= 0;
    }
    // Not by name (another user's terminal, say): the shell's own descriptor,
    // left blocking, since the shell would inherit a non-blocking one after a
    // stop or a kill. Writes then wait for poll, a piece at a time.
    takenTerminal.sharedOutput = fd < 0;
    if (fd < 0)
        fd = outputFd;
}

void TerminalWriter::close() {
    if (ownsFd)
        ::close(fd);
    ownsFd = false;
    fd = -1;
    drop();
}

void TerminalWriter::start(const char* bytes, std::size_t count) {
    data = bytes;
    length = count;
    sent = 0;
}

bool TerminalWriter::flush(int waitMs) {
    while (sent < length) {
        // Given back meanwhile (a stop): the rest would land on the shell's screen.
        if (takenTerminal.taken.load() == 0)
            break;
        if (takenTerminal.sharedOutput) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = poll(&p, 1, waitMs);
            waitMs = 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                return false;
            if (ready < 0 || (p.revents & POLLOUT) == 0) {
                gone = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
                break;
            }
        }
        std::size_t piece = length - sent;
        if (takenTerminal.sharedOutput && piece > sharedWriteChunk)
            piece = sharedWriteChunk;
        const ssize_t n = write(fd, data + sent, piece);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (waitMs > 0 && poll(&p, 1, waitMs) > 0) {
                waitMs = 0;
                continue;
            }
            return false;
        }
        // The terminal is gone: the console ends the show.
        if (n < 0 && (errno == EIO || errno == EPIPE))
            gone = true;
        break;
    }
    drop();
    return true;
}
