// Captures (RGB, 3 bytes a pixel) into the frames a video encoder takes:
// placed and scaled as a VideoPicture says, then converted to the encoder's
// pixel format. Where the picture is scaled by an even whole factor on even
// pixels, the capture is converted at its own size (a quarter of the work)
// and each pixel's luma and colour are repeated: every 2 x 2 block of 4:2:0
// holds one pixel's exact colour. Only the capture tool's video export uses it.
#pragma once

#include "imaging/non_copyable.h"
#include "video_picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <string>
#include <vector>

struct SwsContext;

class PictureConverter : NonCopyable {
  public:
    PictureConverter() = default;
    ~PictureConverter();

    // For captures of sourceWidth x sourceHeight into frames of `format`
    // (YUV 4:2:0 tagged limited-range BT.709, or BGR0 for lossless RGB).
    bool open(const VideoPicture& picture, int sourceWidth, int sourceHeight, AVPixelFormat format,
              std::string& error);
    // True when each source pixel becomes whole 2 x 2 colour blocks.
    bool chromaAligned() const { return aligned; }
    // Writes the whole frame, borders included.
    void convert(const std::uint8_t* source, AVFrame* frame);

  private:
    void convertAligned(const std::uint8_t* source, AVFrame* frame);
    void convertPlaced(AVFrame* frame);

    VideoPicture picture;
    int sourceWidth = 0, sourceHeight = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool aligned = false;
    SwsContext* scaler = nullptr;
    std::vector<std::uint8_t> placed;   // the RGB frame, for the other paths
    std::vector<std::uint8_t> small[3]; // Y, Cb, Cr of the capture at its own size
};
