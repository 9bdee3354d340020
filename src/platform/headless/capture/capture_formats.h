// What the capture tool can write: the still formats (one file a frame) and the
// video formats (one file with the music), and the sizes a video can have. The
// option parser, the main program, the video encoder and --help all read these
// tables, so a format is added in one place.
#pragma once

#include "imaging/cell.h"

#include <string>

// One frame of width x height cells as the bytes of a file; no bytes on failure.
using StillEncoder = std::string (*)(const Cell* cells, int width, int height);

struct StillFormat {
    const char* name;        // --format NAME
    const char* extension;   // of the default file name, ".png"
    StillEncoder encode;     // cells to bytes
    const char* description; // for --help
};

struct VideoFormat {
    const char* extension;    // of the --video file, without the dot: "mp4"
    const char* muxer;        // libavformat's name of the container
    const char* videoEncoder; // libavcodec's names of the encoders
    const char* audioEncoder;
    const char* description; // for --help
};

enum class VideoSizeKind {
    native,  // the capture as it is, 720 x 800
    integer, // the capture scaled by the largest whole factor that fits, centred
    fit,     // the capture scaled to the frame's height by nearest neighbour, centred
};

struct VideoSize {
    const char* name; // --size NAME
    VideoSizeKind kind;
    int width, height;       // of the frame (the capture's own size for native)
    const char* description; // for --help
};

extern const StillFormat stillFormats[];
extern const int stillFormatCount;
extern const VideoFormat videoFormats[];
extern const int videoFormatCount;
extern const VideoSize videoSizes[];
extern const int videoSizeCount;

// The still format called `name`, or null.
const StillFormat* findStillFormat(const std::string& name);
// The video format of `path`'s extension (in any letter case), or null.
const VideoFormat* videoFormatOf(const std::string& path);
// The size called `name`, or null.
const VideoSize* findVideoSize(const std::string& name);
// The sizes a video takes without --size: the first of the table for lossy
// formats; a lossless one keeps the capture's own pixels.
const VideoSize& defaultVideoSize(const VideoFormat& format);
// True for the lossless format, whose frames are the capture's RGB as it is.
bool isLossless(const VideoFormat& format);

// "cells, text, ansi or png", "1080p or native": the table's names in a sentence.
std::string stillFormatNames();
std::string videoExtensions(); // ".mp4, .webm or .mkv"
std::string videoSizeNames();
