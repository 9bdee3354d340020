// The capture tool's command line and the frames it asks for. Everything here
// is checked before the show runs: a bad request ends with one line and exit
// status 2 without rendering anything.
#pragma once

#include "capture_formats.h"
#include "output_name.h"

#include <cstdint>
#include <string>
#include <vector>

// The text of --help, its lists of formats and sizes read from their tables.
std::string captureUsage();

// Most files or sheet slots one run writes.
constexpr std::int64_t maxCaptureFrames = 100000;
// Most slots of a contact sheet.
constexpr std::int64_t maxSheetSlots = 400;
// The last time that can be asked for, the show's end.
constexpr double captureLastTime = 141.5;

struct CaptureOptions {
    bool haveAt = false, haveFrom = false, haveTo = false;
    double at = 0, from = 0, to = 0, every = 1.0;
    bool everyFrame = false; // --every frame: each frame the show presents
    int fps = 100;
    const StillFormat* format = findStillFormat("png");
    std::string out;
    OutputName outName;
    std::int64_t sheetColumns = 0, sheetRows = 0;
    std::string video;                        // --video FILE: one video file instead of pictures
    const VideoFormat* videoFormat = nullptr; // the format of FILE
    const VideoSize* size = nullptr;          // --size, or the format's default
    std::vector<std::int64_t> frames;         // frame indices to write, in order
};

enum class ParseResult { run, help, bad };

// Reads the arguments and plans the frames. On `bad`, `error` holds the line to show.
ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

// Says `message` on standard error as the tool's own line and gives `exitCode`.
// Control bytes in it (from a file name, say) are shown as \xNN, never sent raw.
int captureFailure(const std::string& message, int exitCode = 1);

// The last frame the show presents at `fps` frames per second: the show ends
// once music time passes 141.5 s, and that frame is the last one at or before.
std::int64_t lastPresentedFrame(int fps);
// The frame on screen at music time `seconds`: the first frame at or after it,
// or the last frame of the show when no later one is presented. A time within
// a millionth of a frame after a frame's own time is that frame's time: a
// decimal step such as 0.0166666666667 s lands on every frame at 60 fps, not
// on the frame after once the error adds up.
std::int64_t frameShownAt(double seconds, int fps);
