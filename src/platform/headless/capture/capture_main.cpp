// shadestrip-capture: runs the real show headless at a fixed frame rate (no
// terminal, no audio device) and writes the frames it shows, as raw cells,
// text, ANSI text or PNG, single frames, numbered sequences or a contact sheet,
// or as one video file with the music.
#include "capture_options.h"
#include "cell_png.h"
#include "output_file.h"
#include "platform/headless/frame_formats.h"
#include "platform/headless/headless_show.h"
#ifdef SHADESTRIP_CAPTURE_VIDEO
#include "video_export.h"
#endif

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

std::string extension(const std::string& format) {
    return format == "png"     ? ".png"
           : format == "cells" ? ".cells"
           : format == "ansi"  ? ".ans"
                               : ".txt";
}

std::string encodeFrame(const std::string& format, const Cell* cells) {
    if (format == "png")
        return encodeCellsPng(cells, consoleColumns, consoleRows);
    if (format == "cells")
        return encodeCells(cells, consoleColumns, consoleRows);
    if (format == "ansi")
        return encodeAnsi(cells, consoleColumns, consoleRows);
    return encodeText(cells, consoleColumns, consoleRows);
}

int capturePictures(const CaptureOptions& options) {
    HeadlessShow show(options.fps);
    if (!show.start())
        return captureFailure("the show could not start");

    const std::size_t count = options.frames.size();
    const bool toSheet = options.sheetColumns > 0;
    std::vector<std::vector<Cell>> sheet;
    std::string error;
    OutputName defaultName;
    defaultName.parse("capture" + extension(options.format), error);
    const OutputName& names = options.out.empty() ? defaultName : options.outName;
    for (std::size_t i = 0; i < count; ++i) {
        if (!show.runTo(options.frames[i]))
            return captureFailure("the show ended before " +
                                  std::to_string(show.timeOf(options.frames[i])) + " s");
        if (toSheet) {
            sheet.emplace_back(show.cells(), show.cells() + consoleColumns * consoleRows);
            continue;
        }
        // Text formats of one frame with no --out go to standard output.
        std::string path;
        if (!options.out.empty() || options.format == "png" || count > 1)
            path = names.name(static_cast<std::int64_t>(i), count > 1);
        const std::string bytes = encodeFrame(options.format, show.cells());
        if (bytes.empty())
            return captureFailure("cannot encode the frame at " +
                                  std::to_string(show.timeOf(show.frame())) + " s");
        if (!writeOutput(path, bytes, error))
            return captureFailure(error);
        if (!path.empty())
            std::fprintf(stderr, "wrote %s (t = %.3f s)\n", path.c_str(),
                         show.timeOf(show.frame()));
    }
    if (toSheet) {
        const std::string path = options.out.empty() ? "sheet.png" : options.outName.name(0, false);
        const std::string bytes = encodeCellSheetPng(sheet, consoleColumns, consoleRows,
                                                     static_cast<int>(options.sheetColumns),
                                                     static_cast<int>(options.sheetRows));
        if (bytes.empty())
            return captureFailure("cannot encode the contact sheet");
        if (!writeOutput(path, bytes, error))
            return captureFailure(error);
        std::fprintf(stderr, "wrote %s (%zu frames)\n", path.c_str(), sheet.size());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    switch (parseCaptureOptions(argc, argv, options, error)) {
    case ParseResult::help:
        std::fputs(captureUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case ParseResult::bad:
        return captureFailure(error, 2);
    case ParseResult::run:
        break;
    }
    try {
        if (!options.video.empty()) {
#ifdef SHADESTRIP_CAPTURE_VIDEO
            return exportVideo(options);
#else
            return captureFailure(
                "this build has no video encoder (FFmpeg's libraries were not found)");
#endif
        }
        return capturePictures(options);
    } catch (const std::bad_alloc&) {
        return captureFailure("out of memory");
    }
}
