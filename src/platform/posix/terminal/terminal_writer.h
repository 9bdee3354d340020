// The way frames reach the terminal without the show ever waiting on it: the
// bytes of one write are kept until the terminal has taken them all, a piece
// at each call. Not the encoder (what the bytes are) nor the pacing (when to
// send them).
#pragma once

#include <cstddef>

class TerminalWriter {
  public:
    // Writes to the terminal of `outputFd`: through a descriptor of its own,
    // opened by the terminal's name, where it can (and `shared` is not set,
    // as tests do); else through `outputFd` itself, never made non-blocking.
    void open(int outputFd, bool shared = false);
    void close();
    // The descriptor the bytes go through (for the restore at exit).
    int descriptor() const { return fd; }

    // Starts sending `length` bytes of `data`, which must stay unchanged until
    // done() (the console's output buffer). Any bytes still pending are dropped.
    void start(const char* data, std::size_t length);
    // Sends what it can, waiting at most waitMs in all for the terminal to take
    // more. True once everything has gone (or the terminal is gone: then
    // `gone` is set).
    bool flush(int waitMs);
    bool done() const { return sent == length; }
    bool idle() const { return length == 0; }
    // Drops what is still to be sent (the terminal was given back meanwhile).
    void drop() { sent = length = 0; }
    bool gone = false;

  private:
    int fd = -1;
    bool ownsFd = false;
    const char* data = nullptr;
    std::size_t length = 0;
    std::size_t sent = 0;
};
