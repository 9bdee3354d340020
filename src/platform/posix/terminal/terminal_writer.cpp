// Sending frames to the terminal a piece at a time, never blocking.
#include "terminal_writer.h"

#include "taken_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

void TerminalWriter::open(int outputFd) {
    close();
    gone = false;
    takenTerminal.savedFlags = -1;
    if (const char* name = ttyname(outputFd)) {
        fd = ::open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && !isatty(fd)) {
            ::close(fd);
            fd = -1;
        }
        ownsFd = fd >= 0;
    }
    if (fd < 0) {
        fd = outputFd;
        const int flags = fcntl(outputFd, F_GETFL);
        if (flags != -1 && (flags & O_NONBLOCK) == 0 &&
            fcntl(outputFd, F_SETFL, flags | O_NONBLOCK) == 0)
            takenTerminal.savedFlags = flags;
    }
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
        const ssize_t n = write(fd, data + sent, length - sent);
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
