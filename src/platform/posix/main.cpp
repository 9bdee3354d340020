// The program's entry on Linux and macOS: one Demo of static storage duration,
// built before main runs and destroyed at exit. The command line is read
// before the terminal or the sound is touched.
#include "app/demo.h"
#include "platform/posix/command_line.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/terminal/terminal_caps.h"
#include "platform/posix/terminal/terminal_console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// --help and --version: the text on standard output, and a complaint and exit
// code 1 when it could not be written (a closed pipe, a full disk).
int printText(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "shadestrip: cannot write to standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

// A note on standard error, its lines broken between words to fit 80 columns.
void printNote(std::string note) {
    wrapAtWords(&note[0], 80);
    std::fprintf(stderr, "%s\n", note.c_str());
}

Platform programPlatform() {
    Platform platform = posixPlatform();
    platform.reportError = &reportError;
    return platform;
}

} // namespace

Platform posixPlatform() {
    return Platform{&terminalConsole(), &monotonicTimer(), &posixAudioPlayer(),
                    &reportErrorOnTerminal, true};
}

namespace {

Demo demo(programPlatform());

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::help:
        return printText(usageText);
    case CommandLine::Action::version:
        return printText(versionText(SHADESTRIP_VERSION));
    case CommandLine::Action::error:
        std::fprintf(stderr, "shadestrip: %s\n%s", line.problem.c_str(), tryHelpText);
        return 2;
    case CommandLine::Action::play:
        break;
    }
    Demo::StartChoices choices;
    choices.silent = line.silent;
    choices.time = line.startTime;
    choices.silentWithoutDevice = !soundIsRequired(line, std::getenv("SHADESTRIP_AUDIO"));
    demo.choose(choices);
    if (line.fixColourMode)
        terminalConsole().setColourMode(line.colourMode);
    const int status = demo.run();
    // Said after the show, on the user's own screen: during it the picture
    // covers the terminal.
    if (demo.silentReason()[0] != '\0')
        printNote(silentPlayNote(demo.silentReason()));
    const std::string linkNote =
        slowLinkNote(terminalConsole().linkFigures(), std::getenv("SSH_CONNECTION") != nullptr);
    if (!linkNote.empty())
        printNote(linkNote);
    return status;
}
