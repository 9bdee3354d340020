// Command line of shadestrip-capture, and the frame plan it implies.
#include "capture_options.h"

#include "platform/headless/headless_platform.h"
#include "timeline/strip.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// One entry of a list in --help: its name in a column, then its description,
// each further line of it starting under the first.
std::string helpEntry(const std::string& name, std::string description) {
    for (std::size_t n = description.find('\n'); n != std::string::npos;
         n = description.find('\n', n + 1))
        description.insert(n + 1, 22, ' ');
    char column[40];
    std::snprintf(column, sizeof column, "    %-16s  ", name.c_str());
    return column + description + "\n";
}

} // namespace

std::string captureUsage() {
    std::string stills, videos, sizes;
    for (int i = 0; i < stillFormatCount; ++i)
        stills += helpEntry(stillFormats[i].name, stillFormats[i].description);
    for (int i = 0; i < videoFormatCount; ++i)
        videos +=
            helpEntry(std::string(".") + videoFormats[i].extension, videoFormats[i].description);
    for (int i = 0; i < videoSizeCount; ++i)
        sizes += helpEntry(videoSizes[i].name, videoSizes[i].description);
    return "usage: shadestrip-capture (--at T | --from T0 --to T1 [--every S|frame]\n"
           "                          [--sheet COLSxROWS]) [--fps N] [--format F]\n"
           "                          [--out PATH]\n"
           "       shadestrip-capture --video FILE [--from T0] [--to T1] [--fps N]\n"
           "                          [--size S]\n"
           "\n"
           "Runs the real show headless from 0 s at N frames per second and writes the\n"
           "frames it presents. Times are seconds of music time, 0 to 141.5; the frame\n"
           "written for a time T is the first one at or after T (at the end, the show's\n"
           "last frame).\n"
           "\n"
           "Pictures:\n"
           "  --at T              one frame\n"
           "  --from T0 --to T1   a sequence, one frame every S seconds (--every, default 1;\n"
           "                      --every frame takes each frame the show presents)\n"
           "  --sheet COLSxROWS   the sequence as one PNG contact sheet, at most 400 slots;\n"
           "                      the sequence must fit in them\n"
           "  --fps N             simulated frame rate, a whole number from 1 to 1000\n"
           "                      (default 100)\n"
           "  --format F          (default png)\n" +
           stills +
           "  --out PATH          the file (default capture.EXT, a sequence\n"
           "                      capture-NNNN.EXT, a sheet sheet.png; a text format of\n"
           "                      one frame without --out goes to standard output). In\n"
           "                      PATH, %d is the frame's number in the sequence (0, 1,\n"
           "                      ...; %05d pads with zeros, %5d with spaces, widths 1 to\n"
           "                      9) and %% is a percent sign; any other % is refused,\n"
           "                      and a sequence named with a % needs %d. A sequence\n"
           "                      named without any % gets -NNNN before the extension.\n"
           "  At most 100000 frames a run.\n"
           "\n"
           "Video:\n"
           "  --video FILE        one video file with the music, each frame drawn as the\n"
           "                      png format draws it; codecs by extension:\n" +
           videos +
           "  --from T0 --to T1   the stretch of the show (default 0 to 141.5); video and\n"
           "                      audio start at 0 with the frame shown at T0\n"
           "  --fps N             frames per second, 1 to 1000 (default 60), at most\n"
           "                      100000 frames\n"
           "  --size S            the frame (nearest-neighbour scaling, no blending):\n" +
           sizes +
           "\n"
           "  FILE is used as given (no % patterns). Progress goes to standard error.\n"
           "\n"
           "Files appear only when complete: a failed or interrupted write leaves no file\n"
           "under the requested name (a device or a pipe is written in place; a pipe with\n"
           "no reader is waited for, saying so). A symbolic link is written through.\n"
           "Exit status: 0 done, 1 failure (the show, a write, an encoder missing from the\n"
           "installed libraries), 2 bad arguments, 128 + N stopped by signal N (130 for\n"
           "Ctrl+C).\n";
}

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool parseNumber(const std::string& option, const char* text, double& value, std::string& error) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) {
        error = option + " needs a number, not \"" + printable(text) + "\"";
        return false;
    }
    return true;
}

bool parseTime(const std::string& option, const char* text, double& value, std::string& error) {
    if (!parseNumber(option, text, value, error))
        return false;
    if (value < 0 || value > captureLastTime) {
        error = option + " must be a time from 0 to 141.5 seconds";
        return false;
    }
    return true;
}

// A positive whole number of at most 9 digits.
bool parseCount(const char*& text, std::int64_t& value) {
    value = 0;
    int digits = 0;
    while (*text >= '0' && *text <= '9') {
        if (++digits > 9)
            return false;
        value = value * 10 + (*text++ - '0');
    }
    return digits > 0 && value > 0;
}

bool parseSheet(const char* text, CaptureOptions& options, std::string& error) {
    const char* p = text;
    if (!parseCount(p, options.sheetColumns) || *p++ != 'x' || !parseCount(p, options.sheetRows) ||
        *p != '\0') {
        error = "--sheet must be COLSxROWS, for example 4x3";
        return false;
    }
    if (options.sheetColumns * options.sheetRows > maxSheetSlots) {
        error = "--sheet " + std::string(text) + " has more than 400 slots";
        return false;
    }
    return true;
}

// Every frame from the one shown at `from` to the last one at or before `to`
// (at least the first).
void frameRange(double from, double to, int fps, std::int64_t& first, std::int64_t& end) {
    const std::int64_t last = lastPresentedFrame(fps);
    first = frameShownAt(from, fps);
    end = static_cast<std::int64_t>(std::floor(to * fps + 1e-6));
    if (end > last)
        end = last;
    if (end < first)
        end = first;
}

// A planned sequence fits its sheet and its names.
bool checkSequence(const CaptureOptions& options, std::string& error) {
    const std::int64_t count = static_cast<std::int64_t>(options.frames.size());
    if (options.sheetColumns && count > options.sheetColumns * options.sheetRows) {
        error = "--sheet " + std::to_string(options.sheetColumns) + "x" +
                std::to_string(options.sheetRows) + " has " +
                std::to_string(options.sheetColumns * options.sheetRows) + " slots for " +
                std::to_string(count) + " frames";
        return false;
    }
    if (count > 1 && options.outName.patterned() && !options.outName.numbered()) {
        error = "--out \"" + printable(options.out) + "\" names one file for " +
                std::to_string(count) + " frames: number them with %d";
        return false;
    }
    return true;
}

bool planPictures(CaptureOptions& options, std::string& error) {
    if (options.haveAt) {
        options.frames.push_back(frameShownAt(options.at, options.fps));
        return true;
    }
    if (options.everyFrame) {
        std::int64_t first = 0, end = 0;
        frameRange(options.from, options.to, options.fps, first, end);
        if (end - first + 1 > maxCaptureFrames) {
            error = "--every frame from " + number(options.from) + " to " + number(options.to) +
                    " at " + std::to_string(options.fps) + " fps asks for more than 100000 frames";
            return false;
        }
        for (std::int64_t n = first; n <= end; ++n)
            options.frames.push_back(n);
        return checkSequence(options, error);
    }
    // Counted in floating point first: a tiny step must not overflow an integer.
    // A step that divides the range up to rounding (1/60 written in decimals) reaches its end.
    const double steps = (options.to - options.from) / options.every + 1e-6;
    if (!(steps < static_cast<double>(maxCaptureFrames))) {
        error = "--every " + number(options.every) + " from " + number(options.from) + " to " +
                number(options.to) + " asks for more than 100000 frames";
        return false;
    }
    const std::int64_t count = static_cast<std::int64_t>(steps) + 1;
    options.frames.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i)
        options.frames.push_back(
            frameShownAt(options.from + static_cast<double>(i) * options.every, options.fps));
    return checkSequence(options, error);
}

bool planVideo(CaptureOptions& options, std::string& error) {
    const double from = options.haveFrom ? options.from : 0.0;
    const double to = options.haveTo ? options.to : captureLastTime;
    std::int64_t first = 0, end = 0;
    frameRange(from, to, options.fps, first, end);
    if (end - first + 1 > maxCaptureFrames) {
        error = "--video from " + number(from) + " to " + number(to) + " s at " +
                std::to_string(options.fps) + " fps is " + std::to_string(end - first + 1) +
                " frames, more than 100000: lower --fps or shorten the stretch";
        return false;
    }
    options.frames.reserve(static_cast<std::size_t>(end - first + 1));
    for (std::int64_t n = first; n <= end; ++n)
        options.frames.push_back(n);
    return true;
}

} // namespace

std::int64_t lastPresentedFrame(int fps) {
    // Music time of a frame as the clock reads it from the player: a whole
    // number of samples, then a float.
    HeadlessPlayer player;
    const auto timeOf = [&](std::int64_t n) {
        player.setPositionSeconds(static_cast<double>(n) / fps);
        return static_cast<float>(player.streamBytesToSeconds(0, player.streamGetPosition(0)));
    };
    std::int64_t n = static_cast<std::int64_t>(std::floor(showEndTime * fps)) + 2;
    while (n > 0 && timeOf(n) > showEndTime)
        --n;
    return n;
}

std::int64_t frameShownAt(double seconds, int fps) {
    const std::int64_t frame = static_cast<std::int64_t>(std::ceil(seconds * fps - 1e-6));
    const std::int64_t last = lastPresentedFrame(fps);
    return frame < last ? frame : last;
}

namespace {

struct Given {
    bool format = false, fps = false, every = false, size = false, out = false;
};

const char* const valueOptions[] = {"--at",     "--from", "--to",    "--every", "--fps",
                                    "--format", "--out",  "--sheet", "--video", "--size"};

bool takesValue(const std::string& option) {
    for (const char* name : valueOptions)
        if (option == name)
            return true;
    return false;
}

bool parseEvery(const char* value, CaptureOptions& options, std::string& error) {
    if (std::string(value) == "frame") {
        options.everyFrame = true;
        return true;
    }
    if (!parseNumber("--every", value, options.every, error))
        return false;
    if (!(options.every > 0)) {
        error = "--every must be more than 0 seconds (or \"frame\")";
        return false;
    }
    return true;
}

bool parseFps(const char* value, CaptureOptions& options, std::string& error) {
    double fps = 0;
    if (!parseNumber("--fps", value, fps, error))
        return false;
    if (fps < 1 || fps > 1000 || fps != std::floor(fps)) {
        error = "--fps must be a whole number from 1 to 1000";
        return false;
    }
    options.fps = static_cast<int>(fps);
    return true;
}

// One option and its value.
bool parseOption(const std::string& option, const char* value, CaptureOptions& options,
                 Given& given, std::string& error) {
    if (option == "--at") {
        options.haveAt = true;
        return parseTime(option, value, options.at, error);
    }
    if (option == "--from") {
        options.haveFrom = true;
        return parseTime(option, value, options.from, error);
    }
    if (option == "--to") {
        options.haveTo = true;
        return parseTime(option, value, options.to, error);
    }
    if (option == "--every") {
        given.every = true;
        return parseEvery(value, options, error);
    }
    if (option == "--fps") {
        given.fps = true;
        return parseFps(value, options, error);
    }
    if (option == "--format") {
        given.format = true;
        options.format = findStillFormat(value);
        if (!options.format)
            error = "--format must be " + stillFormatNames();
        return options.format != nullptr;
    }
    if (option == "--out") {
        given.out = true;
        options.out = value;
        if (options.out.empty()) {
            error = "--out needs a file name";
            return false;
        }
        return options.outName.parse(options.out, error);
    }
    if (option == "--sheet")
        return parseSheet(value, options, error);
    if (option == "--video") {
        options.video = value;
        options.videoFormat = videoFormatOf(options.video);
        if (!options.videoFormat)
            error = options.video.empty() ? "--video needs a file name"
                                          : "--video " + printable(options.video) +
                                                ": the name must end in " + videoExtensions();
        return options.videoFormat != nullptr;
    }
    given.size = true;
    options.size = findVideoSize(value);
    if (!options.size)
        error = "--size must be " + videoSizeNames();
    return options.size != nullptr;
}

ParseResult checkVideo(CaptureOptions& options, const Given& given, std::string& error) {
    if (options.haveAt || given.every || options.sheetColumns || given.format || given.out) {
        error = "--video takes only --from, --to, --fps and --size";
        return ParseResult::bad;
    }
    if (!given.fps)
        options.fps = 60;
    if (!options.size)
        options.size = &defaultVideoSize(*options.videoFormat);
    return planVideo(options, error) ? ParseResult::run : ParseResult::bad;
}

ParseResult checkPictures(CaptureOptions& options, const Given& given, std::string& error) {
    if (given.size) {
        error = "--size goes with --video";
        return ParseResult::bad;
    }
    if (options.haveAt == (options.haveFrom || options.haveTo)) {
        error = "give either --at T or --from T0 --to T1";
        return ParseResult::bad;
    }
    if (options.haveFrom != options.haveTo) {
        error = "--from and --to go together";
        return ParseResult::bad;
    }
    if (options.sheetColumns && !options.haveFrom) {
        error = "--sheet needs --from and --to";
        return ParseResult::bad;
    }
    if (options.sheetColumns && given.format && options.format != findStillFormat("png")) {
        error = "a contact sheet is a PNG";
        return ParseResult::bad;
    }
    return planPictures(options, error) ? ParseResult::run : ParseResult::bad;
}

} // namespace

ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options,
                                std::string& error) {
    Given given;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h")
            return ParseResult::help;
        if (!takesValue(option)) {
            error = "unknown option \"" + printable(option) + "\" (try --help)";
            return ParseResult::bad;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return ParseResult::bad;
        }
        if (!parseOption(option, argv[++i], options, given, error))
            return ParseResult::bad;
    }
    if (options.haveFrom && options.haveTo && options.from > options.to) {
        error = "--from must not come after --to";
        return ParseResult::bad;
    }
    return options.videoFormat ? checkVideo(options, given, error)
                               : checkPictures(options, given, error);
}

int captureFailure(const std::string& message, int exitCode) {
    std::fprintf(stderr, "shadestrip-capture: %s\n", printable(message).c_str());
    return exitCode;
}
