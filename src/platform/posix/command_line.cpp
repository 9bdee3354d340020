// The POSIX program's command line: options, their values, and the texts that
// --help, --version and a failed start-up print.
#include "platform/posix/command_line.h"

#include "timeline/strip.h"

#include <charconv>
#include <cmath>
#include <utility>

const char* const usageText =
    "usage: shadestrip [--silent | --sound] [--at SECONDS]\n"
    "                  [--colors auto|16|256|24bit]\n"
    "       shadestrip --help | --version\n"
    "Plays the Shade Strip demo in this terminal: 80 x 50 cells, 142 seconds of music.\n"
    "\n"
    "  --silent        play without sound: no audio device is opened and the show\n"
    "                  runs on the clock (over ssh, or where there is no sound)\n"
    "  --sound         sound or nothing: fail if no audio device answers (without\n"
    "                  either, the show plays silently where none does, and says so)\n"
    "  --at SECONDS    start at that moment of the show, from 0 to 141.5\n"
    "  --colors MODE   auto (from TERM and COLORTERM), 16, 256 or 24bit colours\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Escape ends the show; N and M turn the sound off and back on; ? or F1 lists\n"
    "the keys over the picture. shadestrip(6) describes the keys and the mouse.\n";

const char* const tryHelpText = "Try 'shadestrip --help' for more information.\n";

std::string versionText(const char* version) {
    return std::string("shadestrip (Shade Strip) ") + version +
           "\n"
           "The code is under the MIT licence; the pictures and the music are under\n"
           "the Creative Commons Attribution 4.0 licence (CC BY 4.0).\n";
}

std::string musicFailureLine(const char* reason) {
    std::string line = reason && reason[0] ? reason : "The sound could not be started";
    while (!line.empty() && (line.back() == '.' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line + ". 'shadestrip --silent' plays the show without sound.";
}

std::string silentPlayNote(const char* reason) {
    std::string line = reason && reason[0] ? reason : "no audio device answered";
    while (!line.empty() && (line.back() == '.' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return "Played without sound (" + line + ").";
}

bool soundIsRequired(const CommandLine& line, const char* audioChoice) {
    return line.soundRequired || (audioChoice != nullptr && audioChoice[0] != '\0');
}

namespace {

// A plain decimal number such as 12 or 87.25, read the same in every locale
// (no blanks, no exponent, no hex, no "inf").
bool parseSeconds(const std::string& text, float& seconds) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return false;
    seconds = static_cast<float>(value);
    return true;
}

bool parseColourMode(const std::string& text, CommandLine& line) {
    line.fixColourMode = text != "auto";
    if (text == "16")
        line.colourMode = ColourMode::ansi16;
    else if (text == "256")
        line.colourMode = ColourMode::xterm256;
    else if (text == "24bit")
        line.colourMode = ColourMode::trueColour;
    else
        return text == "auto";
    return true;
}

// An argument echoed in a complaint, in quotes, with control characters shown
// as '?' so that nothing typed can drive the terminal.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7f ? '?' : c;
    }
    return out + "'";
}

CommandLine mistake(std::string problem) {
    CommandLine line;
    line.action = CommandLine::Action::error;
    line.problem = std::move(problem);
    return line;
}

} // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (optionsEnded)
            return mistake("unexpected argument " + quoted(option));
        if (option == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool haveValue = false;
        const std::size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.erase(equals);
            haveValue = true;
        }

        if (option == "--help" || option == "-h" || option == "--version" || option == "--silent" ||
            option == "--sound") {
            if (haveValue)
                return mistake("option '" + option + "' takes no value");
            if (option == "--silent" || option == "--sound") {
                (option == "--silent" ? line.silent : line.soundRequired) = true;
                if (line.silent && line.soundRequired)
                    return mistake("--silent and --sound cannot both be given");
                continue;
            }
            line.action =
                option == "--version" ? CommandLine::Action::version : CommandLine::Action::help;
            return line;
        }
        if (option != "--at" && option != "--colors") {
            if (option.empty() || option[0] != '-')
                return mistake("unexpected argument " + quoted(option));
            return mistake("unknown option " + quoted(option));
        }
        if (!haveValue) {
            if (i + 1 >= argc)
                return mistake("option '" + option + "' needs a value");
            value = argv[++i];
        }
        if (option == "--at") {
            float seconds = 0;
            if (!parseSeconds(value, seconds) || seconds < 0.0f || seconds > showEndTime)
                return mistake("--at needs a time from 0 to 141.5 seconds, not " + quoted(value));
            line.startTime = seconds;
        } else if (!parseColourMode(value, line)) {
            return mistake("--colors must be auto, 16, 256 or 24bit, not " + quoted(value));
        }
    }
    return line;
}
