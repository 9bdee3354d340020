// Where a 720 x 800 capture goes in a video frame: scaled by nearest neighbour
// (each output pixel takes exactly one source pixel, no blending) to the
// largest size that fits, centred on black, with square pixels. Pure
// arithmetic on RGB buffers; no encoder here.
#pragma once

#include "capture_formats.h"

#include <cstdint>

struct VideoPicture {
    int frameWidth = 0, frameHeight = 0; // the video frame
    int x = 0, y = 0;                    // top left of the picture in it
    int width = 0, height = 0;           // the scaled picture
};

// Fits a sourceWidth x sourceHeight picture into a frameWidth x frameHeight
// frame. The picture's size and place are even (4:2:0 video halves colour
// resolution in both directions).
VideoPicture fitPicture(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight);
// Scales by the largest whole factor that fits (at least 1) and centres on an
// even pixel, so each source pixel is whole blocks of 2 x 2 when the factor is even.
VideoPicture integerPicture(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight);
// The picture of a --size.
VideoPicture pictureFor(const VideoSize& size, int sourceWidth, int sourceHeight);

// Writes the whole frame (3 bytes a pixel, rows without padding): black
// around, the source scaled into the picture. Source column of output column
// x is x * sourceWidth / width, rounded down (rows likewise). `frame` is
// cleared to black first unless `bordersDrawn` says the border is already black.
// Each output row is built once; the rows that repeat it are copies.
void placePicture(const VideoPicture& picture, const std::uint8_t* source, int sourceWidth,
                  int sourceHeight, std::uint8_t* frame, bool bordersDrawn = false);
