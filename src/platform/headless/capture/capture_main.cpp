// shadestrip-capture: runs the real show headless at a fixed frame rate (no
// terminal, no audio device) and writes the frames it shows, as raw cells,
// text, ANSI text or PNG, single frames, numbered sequences or a contact sheet.
#include "cell_png.h"
#include "platform/headless/frame_formats.h"
#include "platform/headless/headless_show.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const usage =
    "usage: shadestrip-capture (--at T | --from T0 --to T1 [--every S] [--sheet COLSxROWS])\n"
    "                          [--fps N] [--format cells|text|ansi|png] [--out PATH]\n"
    "  Writes the frames the show presents at music times T (seconds, 0 to 141.5) of a\n"
    "  run from 0 at N frames per second (default 100). Text formats go to standard\n"
    "  output unless --out is given; sequences are numbered files (PATH may hold %d).\n";

constexpr double lastTime = 141.5;

struct Options {
    bool haveAt = false, haveFrom = false, haveTo = false;
    double at = 0, from = 0, to = 0, every = 1.0;
    int fps = 100;
    std::string format = "png";
    std::string out;
    int sheetColumns = 0, sheetRows = 0;
};

[[noreturn]] void badArguments(const std::string& problem) {
    std::fprintf(stderr, "shadestrip-capture: %s\n", problem.c_str());
    std::exit(2);
}

double parseNumber(const std::string& option, const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || value != value)
        badArguments(option + " needs a number, not \"" + text + "\"");
    return value;
}

double parseTime(const std::string& option, const char* text) {
    const double value = parseNumber(option, text);
    if (value < 0 || value > lastTime)
        badArguments(option + " must be a time from 0 to 141.5 seconds");
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool formatGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        const bool takesValue = option == "--at" || option == "--from" || option == "--to" ||
                                option == "--every" || option == "--fps" || option == "--format" ||
                                option == "--out" || option == "--sheet";
        if (!takesValue)
            badArguments("unknown option \"" + option + "\" (try --help)");
        if (i + 1 >= argc)
            badArguments(option + " needs a value");
        const char* value = argv[++i];
        if (option == "--at") {
            options.at = parseTime(option, value);
            options.haveAt = true;
        } else if (option == "--from") {
            options.from = parseTime(option, value);
            options.haveFrom = true;
        } else if (option == "--to") {
            options.to = parseTime(option, value);
            options.haveTo = true;
        } else if (option == "--every") {
            options.every = parseNumber(option, value);
            if (!(options.every > 0))
                badArguments("--every must be more than 0 seconds");
        } else if (option == "--fps") {
            const double fps = parseNumber(option, value);
            if (fps < 1 || fps > 1000 || fps != static_cast<int>(fps))
                badArguments("--fps must be a whole number from 1 to 1000");
            options.fps = static_cast<int>(fps);
        } else if (option == "--format") {
            options.format = value;
            formatGiven = true;
            if (options.format != "cells" && options.format != "text" && options.format != "ansi" &&
                options.format != "png")
                badArguments("--format must be cells, text, ansi or png");
        } else if (option == "--out") {
            options.out = value;
        } else {
            if (std::sscanf(value, "%dx%d", &options.sheetColumns, &options.sheetRows) != 2 ||
                options.sheetColumns < 1 || options.sheetRows < 1 ||
                options.sheetColumns * options.sheetRows > 400)
                badArguments("--sheet must be COLSxROWS, for example 4x3");
        }
    }
    if (options.haveAt == (options.haveFrom || options.haveTo))
        badArguments("give either --at T or --from T0 --to T1");
    if (options.haveFrom != options.haveTo)
        badArguments("--from and --to go together");
    if (options.haveFrom && options.from > options.to)
        badArguments("--from must not come after --to");
    if (options.sheetColumns && !options.haveFrom)
        badArguments("--sheet needs --from and --to");
    if (options.sheetColumns && formatGiven && options.format != "png")
        badArguments("a contact sheet is a PNG");
    return options;
}

std::string extension(const std::string& format) {
    return format == "png"     ? ".png"
           : format == "cells" ? ".cells"
           : format == "ansi"  ? ".ans"
                               : ".txt";
}

// PATH with %d filled in, or with -NNNN before its extension.
std::string numberedPath(const std::string& pattern, int number) {
    char digits[32];
    if (pattern.find('%') != std::string::npos) {
        std::vector<char> buffer(pattern.size() + 32);
        std::snprintf(buffer.data(), buffer.size(), pattern.c_str(), number);
        return buffer.data();
    }
    std::snprintf(digits, sizeof digits, "-%04d", number);
    const std::size_t dot = pattern.find_last_of('.');
    const std::size_t slash = pattern.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return pattern + digits;
    return pattern.substr(0, dot) + digits + pattern.substr(dot);
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = path.empty() ? stdout : std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "shadestrip-capture: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != stdout)
        return std::fclose(file) == 0 && ok;
    return std::fflush(stdout) == 0 && ok;
}

bool writeFrame(const Options& options, const std::string& path, const Cell* cells) {
    if (options.format == "png") {
        if (!writeCellsPng(path, cells, consoleColumns, consoleRows)) {
            std::fprintf(stderr, "shadestrip-capture: cannot write %s\n", path.c_str());
            return false;
        }
        return true;
    }
    if (options.format == "cells")
        return writeBytes(path, encodeCells(cells, consoleColumns, consoleRows));
    if (options.format == "ansi")
        return writeBytes(path, encodeAnsi(cells, consoleColumns, consoleRows));
    return writeBytes(path, encodeText(cells, consoleColumns, consoleRows));
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);

    std::vector<double> times;
    if (options.haveAt) {
        times.push_back(options.at);
    } else {
        const int count = static_cast<int>((options.to - options.from) / options.every + 1e-9) + 1;
        for (int i = 0; i < count; ++i)
            times.push_back(options.from + i * options.every);
    }

    HeadlessShow show(options.fps);
    if (!show.start()) {
        std::fprintf(stderr, "shadestrip-capture: the show could not start\n");
        return 1;
    }

    std::vector<std::vector<Cell>> sheet;
    const bool toSheet = options.sheetColumns > 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!show.runTo(show.frameAt(times[i]))) {
            std::fprintf(stderr, "shadestrip-capture: the show ended before %.3f s\n", times[i]);
            return 1;
        }
        if (toSheet) {
            sheet.emplace_back(show.cells(), show.cells() + consoleColumns * consoleRows);
            continue;
        }
        std::string path = options.out;
        if (path.empty() && (options.format == "png" || times.size() > 1))
            path = "capture" + extension(options.format);
        if (times.size() > 1)
            path = numberedPath(path, static_cast<int>(i));
        if (!writeFrame(options, path, show.cells()))
            return 1;
        if (!path.empty())
            std::fprintf(stderr, "wrote %s (t = %.3f s)\n", path.c_str(),
                         show.timeOf(show.frame()));
    }
    if (toSheet) {
        const std::string path = options.out.empty() ? "sheet.png" : options.out;
        if (!writeCellSheetPng(path, sheet, consoleColumns, consoleRows, options.sheetColumns,
                               options.sheetRows)) {
            std::fprintf(stderr, "shadestrip-capture: cannot write %s\n", path.c_str());
            return 1;
        }
        std::fprintf(stderr, "wrote %s (%zu frames)\n", path.c_str(), sheet.size());
    }
    return 0;
}
