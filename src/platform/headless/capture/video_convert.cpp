// Captures into encoder frames: the exact 2 x 2 path and the general one.
#include "video_convert.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>

PictureConverter::~PictureConverter() {
    sws_freeContext(scaler);
}

bool PictureConverter::open(const VideoPicture& place, int width, int height,
                            AVPixelFormat pixelFormat, std::string& error) {
    picture = place;
    sourceWidth = width;
    sourceHeight = height;
    format = pixelFormat;
    const int scale = picture.width / sourceWidth;
    aligned = format == AV_PIX_FMT_YUV420P && picture.width == sourceWidth * scale &&
              picture.height == sourceHeight * scale && scale % 2 == 0 && picture.x % 2 == 0 &&
              picture.y % 2 == 0;
    if (!aligned)
        placed.assign(static_cast<std::size_t>(picture.frameWidth) * picture.frameHeight * 3, 0);
    if (format == AV_PIX_FMT_BGR0)
        return true;
    if (aligned) {
        for (auto& plane : small)
            plane.resize(static_cast<std::size_t>(sourceWidth) * sourceHeight);
        scaler = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_RGB24, sourceWidth,
                                sourceHeight, AV_PIX_FMT_YUV444P, SWS_POINT | SWS_ACCURATE_RND,
                                nullptr, nullptr, nullptr);
    } else {
        // Colour shared by 2 x 2 different pixels is their blend.
        scaler = sws_getContext(picture.frameWidth, picture.frameHeight, AV_PIX_FMT_RGB24,
                                picture.frameWidth, picture.frameHeight, format,
                                SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    }
    if (!scaler) {
        error = "cannot set up the colour conversion";
        return false;
    }
    // Full-range RGB to limited-range BT.709, as the streams are tagged.
    sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    return true;
}

void PictureConverter::convert(const std::uint8_t* source, AVFrame* frame) {
    if (aligned) {
        convertAligned(source, frame);
        return;
    }
    // The border stays black from the first frame on: only the picture is redrawn.
    placePicture(picture, source, sourceWidth, sourceHeight, placed.data(), true);
    convertPlaced(frame);
}

void PictureConverter::convertPlaced(AVFrame* frame) {
    if (format != AV_PIX_FMT_BGR0) {
        const std::uint8_t* rows[1] = {placed.data()};
        const int stride[1] = {picture.frameWidth * 3};
        sws_scale(scaler, rows, stride, 0, picture.frameHeight, frame->data, frame->linesize);
        return;
    }
    // Blue, green, red and a spare byte keep every value.
    for (int y = 0; y < picture.frameHeight; ++y) {
        const std::uint8_t* p =
            placed.data() + static_cast<std::size_t>(y) * picture.frameWidth * 3;
        std::uint8_t* out = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < picture.frameWidth; ++x, p += 3, out += 4) {
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            out[3] = 0;
        }
    }
}

namespace {

// One plane of the frame: `value` around the picture, and each source sample
// repeated `scale` times across and down inside it.
void fillPlane(std::uint8_t* plane, int stride, int width, int height, int x, int y,
               const std::uint8_t* source, int sourceWidth, int sourceHeight, int scale,
               std::uint8_t value) {
    const int pictureRows = sourceHeight * scale;
    for (int row = 0; row < height; ++row) {
        std::uint8_t* out = plane + static_cast<std::ptrdiff_t>(row) * stride;
        if (row < y || row >= y + pictureRows) {
            std::memset(out, value, static_cast<std::size_t>(width));
            continue;
        }
        const int sourceRow = (row - y) / scale;
        if ((row - y) % scale != 0) {
            std::memcpy(out, out - stride, static_cast<std::size_t>(width));
            continue;
        }
        std::memset(out, value, static_cast<std::size_t>(x));
        std::uint8_t* p = out + x;
        const std::uint8_t* in = source + static_cast<std::size_t>(sourceRow) * sourceWidth;
        for (int sx = 0; sx < sourceWidth; ++sx)
            for (int k = 0; k < scale; ++k)
                *p++ = in[sx];
        std::memset(p, value, static_cast<std::size_t>(width - x - sourceWidth * scale));
    }
}

} // namespace

void PictureConverter::convertAligned(const std::uint8_t* source, AVFrame* frame) {
    const std::uint8_t* rows[1] = {source};
    const int stride[1] = {sourceWidth * 3};
    std::uint8_t* planes[3] = {small[0].data(), small[1].data(), small[2].data()};
    const int planeStrides[3] = {sourceWidth, sourceWidth, sourceWidth};
    sws_scale(scaler, rows, stride, 0, sourceHeight, planes, planeStrides);
    // Limited-range black is Y 16 with no colour (Cb = Cr = 128).
    const int scale = picture.width / sourceWidth;
    fillPlane(frame->data[0], frame->linesize[0], picture.frameWidth, picture.frameHeight,
              picture.x, picture.y, small[0].data(), sourceWidth, sourceHeight, scale, 16);
    for (int c = 1; c < 3; ++c)
        fillPlane(frame->data[c], frame->linesize[c], picture.frameWidth / 2,
                  picture.frameHeight / 2, picture.x / 2, picture.y / 2, small[c].data(),
                  sourceWidth, sourceHeight, scale / 2, 128);
}
