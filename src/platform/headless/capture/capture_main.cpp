// shadestrip-capture: runs the real show headless at a fixed frame rate (no
// terminal, no audio device) and writes the frames it shows, as raw cells,
// text, ANSI text or PNG, single frames, numbered sequences or a contact sheet,
// or as one video file with the music.
#include "capture_options.h"
#include "cell_png.h"
#include "output_file.h"
#include "platform/headless/headless_show.h"
#include "stop_signals.h"
#ifdef SHADESTRIP_CAPTURE_VIDEO
#include "video_export.h"
#endif

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// A failure, or the stop a signal asked for when one came first.
int failure(const std::string& message) {
    if (StopSignals::received())
        return captureFailure("stopped by signal " + std::to_string(StopSignals::received()),
                              StopSignals::exitStatus());
    return captureFailure(message);
}

// Runs the show to frame `index` a frame at a time, stopping early on a signal.
bool runTo(HeadlessShow& show, std::int64_t index) {
    while (show.frame() < index)
        if (StopSignals::received() || !show.step())
            return false;
    return true;
}

int capturePictures(const CaptureOptions& options) {
    HeadlessShow show(options.fps);
    if (!show.start())
        return failure("the show could not start");

    const std::size_t count = options.frames.size();
    const bool toSheet = options.sheetColumns > 0;
    std::vector<std::vector<Cell>> sheet;
    std::string error;
    OutputName defaultName;
    defaultName.parse(std::string("capture") + options.format->extension, error);
    const OutputName& names = options.out.empty() ? defaultName : options.outName;
    for (std::size_t i = 0; i < count; ++i) {
        if (!runTo(show, options.frames[i]))
            return failure("the show ended before " +
                           std::to_string(show.timeOf(options.frames[i])) + " s");
        if (toSheet) {
            sheet.emplace_back(show.cells(), show.cells() + consoleColumns * consoleRows);
            continue;
        }
        // Text formats of one frame with no --out go to standard output.
        std::string path;
        if (!options.out.empty() || options.format == findStillFormat("png") || count > 1)
            path = names.name(static_cast<std::int64_t>(i), count > 1);
        const std::string bytes = options.format->encode(show.cells(), consoleColumns, consoleRows);
        if (bytes.empty())
            return failure("cannot encode the frame at " +
                           std::to_string(show.timeOf(show.frame())) + " s");
        if (!writeOutput(path, bytes, error))
            return failure(error);
        if (!path.empty())
            std::fprintf(stderr, "wrote %s (t = %.3f s)\n", printable(path).c_str(),
                         show.timeOf(show.frame()));
    }
    if (toSheet) {
        const std::string path = options.out.empty() ? "sheet.png" : options.outName.name(0, false);
        const std::string bytes = encodeCellSheetPng(sheet, consoleColumns, consoleRows,
                                                     static_cast<int>(options.sheetColumns),
                                                     static_cast<int>(options.sheetRows));
        if (bytes.empty())
            return failure("cannot encode the contact sheet");
        if (StopSignals::received() || !writeOutput(path, bytes, error))
            return failure(error);
        std::fprintf(stderr, "wrote %s (%zu frames)\n", printable(path).c_str(), sheet.size());
    }
    return StopSignals::received() ? failure("") : 0;
}

} // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    switch (parseCaptureOptions(argc, argv, options, error)) {
    case ParseResult::help:
        std::fputs(captureUsage().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case ParseResult::bad:
        return captureFailure(error, 2);
    case ParseResult::run:
        break;
    }
    const StopSignals stopSignals;
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
