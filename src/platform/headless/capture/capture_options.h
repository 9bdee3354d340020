// The capture tool's command line and the frames it asks for. Everything here
// is checked before the show runs: a bad request ends with one line and exit
// status 2 without rendering anything.
#pragma once

#include "output_name.h"

#include <cstdint>
#include <string>
#include <vector>

extern const char* const captureUsage;

// Most files or sheet slots one run writes.
constexpr std::int64_t maxCaptureFrames = 100000;
// Most slots of a contact sheet.
constexpr std::int64_t maxSheetSlots = 400;
// The last time that can be asked for, the show's end.
constexpr double captureLastTime = 141.5;

struct CaptureOptions {
    bool haveAt = false, haveFrom = false, haveTo = false;
    double at = 0, from = 0, to = 0, every = 1.0;
    int fps = 100;
    std::string format = "png";
    std::string out;
    OutputName outName;
    std::int64_t sheetColumns = 0, sheetRows = 0;
    std::string video;                // --video FILE: one video file instead of pictures
    bool nativeSize = false;          // --size native: 720 x 800 instead of 1920 x 1080
    std::vector<std::int64_t> frames; // frame indices to write, in order
};

enum class ParseResult { run, help, bad };

// Reads the arguments and plans the frames. On `bad`, `error` holds the line to show.
ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

// Says `message` on standard error as the tool's own line and gives `exitCode`.
int captureFailure(const std::string& message, int exitCode = 1);

// The last frame the show presents at `fps` frames per second: the show ends
// once music time passes 141.5 s, and that frame is the last one at or before.
std::int64_t lastPresentedFrame(int fps);
// The frame on screen at music time `seconds`: the first frame at or after it,
// or the last frame of the show when no later one is presented.
std::int64_t frameShownAt(double seconds, int fps);
