// The command line of the terminal program: what each option sets, which
// argument decides the action, and the one-line complaints about bad input.
#include "platform/posix/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLine parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "shadestrip");
    return parseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

} // namespace

TEST(CommandLine, NoOptionsPlaysTheShowAsAlways) {
    const CommandLine line = parse({});
    EXPECT_EQ(line.action, CommandLine::Action::play);
    EXPECT_FALSE(line.silent);
    EXPECT_EQ(line.startTime, 0.0f);
    EXPECT_FALSE(line.fixColourMode);
}

TEST(CommandLine, OptionsAndTheirValues) {
    CommandLine line = parse({"--silent", "--at", "87.25", "--colors", "256"});
    EXPECT_EQ(line.action, CommandLine::Action::play);
    EXPECT_TRUE(line.silent);
    EXPECT_EQ(line.startTime, 87.25f);
    EXPECT_TRUE(line.fixColourMode);
    EXPECT_EQ(line.colourMode, ColourMode::xterm256);

    line = parse({"--at=0", "--colors=24bit"});
    EXPECT_EQ(line.startTime, 0.0f);
    EXPECT_EQ(line.colourMode, ColourMode::trueColour);
    EXPECT_EQ(parse({"--colors", "16"}).colourMode, ColourMode::ansi16);
    EXPECT_EQ(parse({"--at", "141.5"}).startTime, 141.5f);
    EXPECT_EQ(parse({"--at", "3"}).startTime, 3.0f);

    // The last of a repeated option counts; auto hands the choice back to the terminal.
    EXPECT_EQ(parse({"--at", "5", "--at", "9"}).startTime, 9.0f);
    EXPECT_FALSE(parse({"--colors", "256", "--colors", "auto"}).fixColourMode);
    // "--" ends the options.
    EXPECT_TRUE(parse({"--silent", "--"}).silent);
}

TEST(CommandLine, TheFirstHelpVersionOrMistakeDecides) {
    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::help);
    EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::help);
    EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::version);
    EXPECT_EQ(parse({"--silent", "--help", "--nonsense"}).action, CommandLine::Action::help);
    EXPECT_EQ(parse({"--version", "--help"}).action, CommandLine::Action::version);
    EXPECT_EQ(parse({"--nonsense", "--help"}).action, CommandLine::Action::error);
    // A value is taken as a value even when it looks like an option.
    EXPECT_EQ(parse({"--at", "--help"}).action, CommandLine::Action::error);
}

TEST(CommandLine, MistakesGetOneLineThatNamesThem) {
    const struct {
        std::vector<const char*> arguments;
        const char* expected;
    } cases[] = {
        {{"--colours"}, "unknown option '--colours'"},
        {{"show"}, "unexpected argument 'show'"},
        {{"--", "--silent"}, "unexpected argument '--silent'"},
        {{"--at"}, "option '--at' needs a value"},
        {{"--silent=yes"}, "option '--silent' takes no value"},
        {{"--at", "abc"}, "not 'abc'"},
        {{"--at", "-1"}, "from 0 to 141.5 seconds"},
        {{"--at", "141.6"}, "from 0 to 141.5 seconds"},
        {{"--at", "12s"}, "not '12s'"},
        {{"--at", " 12"}, "not ' 12'"},
        {{"--at", "1e2"}, "not '1e2'"},
        {{"--at", "nan"}, "not 'nan'"},
        {{"--at", "inf"}, "not 'inf'"},
        {{"--at", "12,5"}, "not '12,5'"},
        {{"--colors", "8"}, "--colors must be auto, 16, 256 or 24bit, not '8'"},
        // Nothing typed reaches the terminal as a control sequence.
        {{"--\x1b]2;x\a"}, "unknown option '--?]2;x?'"},
    };
    for (const auto& c : cases) {
        const CommandLine line = parse(c.arguments);
        EXPECT_EQ(line.action, CommandLine::Action::error) << c.expected;
        EXPECT_NE(line.problem.find(c.expected), std::string::npos) << line.problem;
        EXPECT_EQ(line.problem.find('\n'), std::string::npos) << line.problem;
    }
}

TEST(CommandLine, MusicFailureLineSaysWhatFailedAndOffersSilentPlay) {
    EXPECT_EQ(musicFailureLine("No sound device: ALSA: Couldn't open audio device."),
              "No sound device: ALSA: Couldn't open audio device. 'shadestrip --silent' plays "
              "the show without sound.");
    EXPECT_EQ(musicFailureLine("no server\n"),
              "no server. 'shadestrip --silent' plays the show without sound.");
    EXPECT_EQ(musicFailureLine(nullptr), musicFailureLine(""));
    EXPECT_EQ(musicFailureLine(nullptr).rfind("The sound could not be started. ", 0), 0u);
}

// Sound is required by --sound or by naming a player in SHADESTRIP_AUDIO;
// otherwise a show without a device plays silently and says so afterwards.
TEST(CommandLine, SoundRequiredOnlyWhenAskedFor) {
    const CommandLine plain = parse({});
    EXPECT_FALSE(plain.soundRequired);
    EXPECT_FALSE(soundIsRequired(plain, nullptr));
    EXPECT_FALSE(soundIsRequired(plain, ""));
    EXPECT_TRUE(soundIsRequired(plain, "pulse"));
    const CommandLine sound = parse({"--sound", "--at", "3"});
    EXPECT_EQ(sound.action, CommandLine::Action::play);
    EXPECT_TRUE(soundIsRequired(sound, nullptr));
    EXPECT_FALSE(sound.silent);

    const CommandLine both = parse({"--silent", "--sound"});
    EXPECT_EQ(both.action, CommandLine::Action::error);
    EXPECT_NE(both.problem.find("--silent and --sound"), std::string::npos) << both.problem;
    EXPECT_EQ(parse({"--sound=yes"}).action, CommandLine::Action::error);

    EXPECT_EQ(silentPlayNote("ALSA: Couldn't open audio device.\n"),
              "Played without sound (ALSA: Couldn't open audio device).");
    EXPECT_EQ(silentPlayNote(nullptr), silentPlayNote(""));
}
