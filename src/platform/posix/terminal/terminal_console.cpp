// Placeholder terminal console until the terminal backend lands: it opens nothing.
#include "platform/posix/posix_platform.h"

#include <cstdio>

namespace {

class NoTerminal : public ConsoleBackend {
  public:
    bool open(const char*, int, int) override { return false; }
    bool present(const Cell*, int, int) override { return false; }
    bool readInput(InputRecord&) override { return false; }
    void setMouseInput(bool) override {}
    void setTitle(const char*) override {}
    void close() override {}
};

} // namespace

ConsoleBackend& terminalConsole() {
    static NoTerminal console;
    return console;
}

void reportErrorOnTerminal(const char* caption, const char* text) {
    std::fprintf(stderr, "%s %s\n", caption, text);
}
