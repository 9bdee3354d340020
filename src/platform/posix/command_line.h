// The POSIX program's command line: what the user asked for, read from argv
// before anything else happens. Pure: no I/O, no exit; main acts on the result.
#pragma once

#include "platform/posix/terminal/frame_encoder.h"

#include <string>

struct CommandLine {
    enum class Action {
        play,    // run the show with the choices below
        help,    // print usageText on standard output, exit 0
        version, // print versionText, exit 0
        error,   // print `problem` and tryHelpText on standard error, exit 2
    };
    Action action = Action::play;
    // No audio device: time comes from the timer from the first frame on.
    bool silent = false;
    // Sound or nothing: without an audio device the show does not start
    // ("Cannot load music.", exit 1). Otherwise the show plays silently where
    // no device answers, with a note at the end.
    bool soundRequired = false;
    // Music time to start from, seconds from 0 to the end of the show.
    float startTime = 0.0f;
    // False leaves the colour mode to the terminal's own detection.
    bool fixColourMode = false;
    ColourMode colourMode = ColourMode::ansi16;
    // One line saying what was wrong, for Action::error.
    std::string problem;
};

// Reads argv[1] to argv[argc - 1] left to right; the first --help, --version
// or mistake decides the action. Values go as "--at 12" or "--at=12".
CommandLine parseCommandLine(int argc, const char* const* argv);

extern const char* const usageText;
extern const char* const tryHelpText;
// "shadestrip (Shade Strip) VERSION" and the licences, several lines.
std::string versionText(const char* version);

// The line printed under "Cannot load music.": what failed (`reason`, may be
// null or empty) and how to play without sound.
std::string musicFailureLine(const char* reason);
// The note after a show that played silently because no audio device
// answered (`reason`, may be empty).
std::string silentPlayNote(const char* reason);
// Sound was asked for, not just wished for: --sound, or SHADESTRIP_AUDIO
// (`audioChoice`, may be null) naming a player.
bool soundIsRequired(const CommandLine& line, const char* audioChoice);
