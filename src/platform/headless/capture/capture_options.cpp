// Command line of shadestrip-capture, and the frame plan it implies.
#include "capture_options.h"

#include "platform/headless/headless_platform.h"
#include "timeline/strip.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

const char* const captureUsage =
    "usage: shadestrip-capture (--at T | --from T0 --to T1 [--every S] [--sheet COLSxROWS])\n"
    "                          [--fps N] [--format cells|text|ansi|png] [--out PATH]\n"
    "       shadestrip-capture --video FILE [--from T0] [--to T1] [--fps N]\n"
    "                          [--size 1080p|native]\n"
    "\n"
    "Runs the real show headless from 0 s at N frames per second and writes the\n"
    "frames it presents. Times are seconds of music time, 0 to 141.5; the frame\n"
    "written for a time T is the first one at or after T (at the end, the show's\n"
    "last frame).\n"
    "\n"
    "Pictures:\n"
    "  --at T              one frame\n"
    "  --from T0 --to T1   a sequence, one frame every S seconds (--every, default 1)\n"
    "  --sheet COLSxROWS   the sequence as one PNG contact sheet, at most 400 slots;\n"
    "                      the sequence must fit in them\n"
    "  --fps N             simulated frame rate, a whole number from 1 to 1000\n"
    "                      (default 100)\n"
    "  --format F          cells (character and attribute bytes), text (UTF-8),\n"
    "                      ansi (UTF-8 with colours, view with cat) or png (the VGA\n"
    "                      font, 720 x 800); default png\n"
    "  --out PATH          the file (default capture.EXT, a sequence capture-NNNN.EXT,\n"
    "                      a sheet sheet.png; a text format of one frame without\n"
    "                      --out goes to standard output). In PATH, %d is the\n"
    "                      frame's number in the sequence (0, 1, ...; %05d pads\n"
    "                      with zeros, %5d with spaces, widths 1 to 9) and %% is a\n"
    "                      percent sign; any other % is refused, and a sequence\n"
    "                      named with a % needs %d. A sequence named without any %\n"
    "                      gets -NNNN before the extension.\n"
    "  At most 100000 frames a run.\n"
    "\n"
    "Video:\n"
    "  --video FILE        one video file with the music, each frame drawn as the\n"
    "                      png format draws it; codecs by extension: .mp4 (H.264\n"
    "                      and AAC), .webm (VP9 and Opus), .mkv (lossless FFV1 and\n"
    "                      FLAC)\n"
    "  --from T0 --to T1   the stretch of the show (default 0 to 141.5); video and\n"
    "                      audio start at 0 with the frame shown at T0\n"
    "  --fps N             frames per second, 1 to 1000 (default 60)\n"
    "  --size S            1080p: 1920 x 1080, the picture scaled to the height by\n"
    "                      nearest neighbour and centred on black (default);\n"
    "                      native: 720 x 800\n"
    "\n"
    "  FILE is used as given (no % patterns). Progress goes to standard error.\n"
    "\n"
    "Files appear only when complete: a failed or interrupted write leaves no file\n"
    "under the requested name (a device such as /dev/full is written in place).\n"
    "Exit status: 0 done, 1 failure (the show, a write, an encoder missing from the\n"
    "installed libraries), 2 bad arguments, 130 a video export interrupted.\n";

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool parseNumber(const std::string& option, const char* text, double& value, std::string& error) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    if (end == text || *end != '\0' || value != value) {
        error = option + " needs a number, not \"" + text + "\"";
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

bool planPictures(CaptureOptions& options, std::string& error) {
    if (options.haveAt) {
        options.frames.push_back(frameShownAt(options.at, options.fps));
        return true;
    }
    // Counted in floating point first: a tiny step must not overflow an integer.
    const double steps = (options.to - options.from) / options.every + 1e-9;
    if (!(steps < static_cast<double>(maxCaptureFrames))) {
        error = "--every " + number(options.every) + " from " + number(options.from) + " to " +
                number(options.to) + " asks for more than 100000 frames";
        return false;
    }
    const std::int64_t count = static_cast<std::int64_t>(steps) + 1;
    if (options.sheetColumns && count > options.sheetColumns * options.sheetRows) {
        error = "--sheet " + std::to_string(options.sheetColumns) + "x" +
                std::to_string(options.sheetRows) + " has " +
                std::to_string(options.sheetColumns * options.sheetRows) + " slots for " +
                std::to_string(count) + " frames";
        return false;
    }
    options.frames.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i)
        options.frames.push_back(
            frameShownAt(options.from + static_cast<double>(i) * options.every, options.fps));
    if (count > 1 && options.outName.patterned() && !options.outName.numbered()) {
        error = "--out \"" + options.out + "\" names one file for " + std::to_string(count) +
                " frames: number them with %d";
        return false;
    }
    return true;
}

bool planVideo(CaptureOptions& options, std::string& error) {
    const std::int64_t last = lastPresentedFrame(options.fps);
    const double from = options.haveFrom ? options.from : 0.0;
    const double to = options.haveTo ? options.to : captureLastTime;
    const std::int64_t first = frameShownAt(from, options.fps);
    std::int64_t end = static_cast<std::int64_t>(std::floor(to * options.fps + 1e-9));
    if (end > last)
        end = last;
    if (end < first)
        end = first;
    options.frames.reserve(static_cast<std::size_t>(end - first + 1));
    for (std::int64_t n = first; n <= end; ++n)
        options.frames.push_back(n);
    (void)error;
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
    const std::int64_t frame = static_cast<std::int64_t>(std::ceil(seconds * fps - 1e-9));
    const std::int64_t last = lastPresentedFrame(fps);
    return frame < last ? frame : last;
}

ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options,
                                std::string& error) {
    bool formatGiven = false, fpsGiven = false, everyGiven = false, sizeGiven = false;
    bool outGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h")
            return ParseResult::help;
        const bool takesValue = option == "--at" || option == "--from" || option == "--to" ||
                                option == "--every" || option == "--fps" || option == "--format" ||
                                option == "--out" || option == "--sheet" || option == "--video" ||
                                option == "--size";
        if (!takesValue) {
            error = "unknown option \"" + option + "\" (try --help)";
            return ParseResult::bad;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return ParseResult::bad;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (option == "--at") {
            ok = parseTime(option, value, options.at, error);
            options.haveAt = true;
        } else if (option == "--from") {
            ok = parseTime(option, value, options.from, error);
            options.haveFrom = true;
        } else if (option == "--to") {
            ok = parseTime(option, value, options.to, error);
            options.haveTo = true;
        } else if (option == "--every") {
            ok = parseNumber(option, value, options.every, error);
            everyGiven = true;
            if (ok && !(options.every > 0)) {
                error = "--every must be more than 0 seconds";
                ok = false;
            }
        } else if (option == "--fps") {
            double fps = 0;
            ok = parseNumber(option, value, fps, error);
            if (ok && (fps < 1 || fps > 1000 || fps != std::floor(fps))) {
                error = "--fps must be a whole number from 1 to 1000";
                ok = false;
            }
            options.fps = ok ? static_cast<int>(fps) : options.fps;
            fpsGiven = true;
        } else if (option == "--format") {
            options.format = value;
            formatGiven = true;
            if (options.format != "cells" && options.format != "text" && options.format != "ansi" &&
                options.format != "png") {
                error = "--format must be cells, text, ansi or png";
                ok = false;
            }
        } else if (option == "--out") {
            options.out = value;
            outGiven = true;
            ok = options.outName.parse(options.out, error);
        } else if (option == "--sheet") {
            ok = parseSheet(value, options, error);
        } else if (option == "--video") {
            options.video = value;
            if (options.video.empty()) {
                error = "--video needs a file name";
                ok = false;
            }
        } else {
            const std::string size = value;
            sizeGiven = true;
            options.nativeSize = size == "native";
            if (size != "native" && size != "1080p") {
                error = "--size must be 1080p or native";
                ok = false;
            }
        }
        if (!ok)
            return ParseResult::bad;
    }

    if (options.haveFrom && options.haveTo && options.from > options.to) {
        error = "--from must not come after --to";
        return ParseResult::bad;
    }
    if (!options.video.empty()) {
        if (options.haveAt || everyGiven || options.sheetColumns || formatGiven || outGiven) {
            error = "--video takes only --from, --to, --fps and --size";
            return ParseResult::bad;
        }
        if (!fpsGiven)
            options.fps = 60;
        return planVideo(options, error) ? ParseResult::run : ParseResult::bad;
    }
    if (sizeGiven) {
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
    if (options.sheetColumns && formatGiven && options.format != "png") {
        error = "a contact sheet is a PNG";
        return ParseResult::bad;
    }
    return planPictures(options, error) ? ParseResult::run : ParseResult::bad;
}

int captureFailure(const std::string& message, int exitCode) {
    std::fprintf(stderr, "shadestrip-capture: %s\n", message.c_str());
    return exitCode;
}
