// The capture tool's video run: the show headless at the video's frame rate,
// every frame of the range drawn as the png format draws it, with the matching
// stretch of the music, into one file by VideoEncoder.
#pragma once

#include "capture_options.h"

// Runs the export the options describe, with progress and a summary on
// standard error. The exit status: 0, 1 on failure, 2 for an unusable name,
// 130 when interrupted.
int exportVideo(const CaptureOptions& options);
