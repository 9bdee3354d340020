// The program's entry on Linux and macOS: one Demo of static storage duration,
// built before main runs and destroyed at exit. The command line is read
// before the terminal or the sound is touched.
#include "app/demo.h"
#include "platform/posix/command_line.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/terminal/terminal_console.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The terminal's report, with a line under "Cannot load music." that says
// what failed and how to play without sound.
void reportError(const char* caption, const char* text, const char* detail) {
    if (std::strcmp(text, musicErrorText) == 0) {
        const std::string line = musicFailureLine(detail);
        reportErrorOnTerminal(caption, text, line.c_str());
        return;
    }
    reportErrorOnTerminal(caption, text, detail);
}

Platform programPlatform() {
    Platform platform = posixPlatform();
    platform.reportError = &reportError;
    return platform;
}

Demo demo(programPlatform());

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::help:
        std::fputs(usageText, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::version:
        std::fputs(versionText(SHADESTRIP_VERSION).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::error:
        std::fprintf(stderr, "shadestrip: %s\n%s", line.problem.c_str(), tryHelpText);
        return 2;
    case CommandLine::Action::play:
        break;
    }
    demo.startSilent = line.silent;
    demo.startTime = line.startTime;
    // The program's console is the terminal console (posix_platform.h).
    if (line.fixColourMode)
        static_cast<TerminalConsole&>(terminalConsole()).setColourMode(line.colourMode);
    return demo.run();
}
