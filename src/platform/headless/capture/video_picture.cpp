// Nearest-neighbour placement of a capture in a video frame.
#include "video_picture.h"

#include <cstddef>
#include <cstring>

VideoPicture fitPicture(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight) {
    VideoPicture picture;
    picture.frameWidth = frameWidth;
    picture.frameHeight = frameHeight;
    // Compare the two aspect ratios in integers: fit to the height or to the width.
    const std::int64_t byHeight = static_cast<std::int64_t>(sourceWidth) * frameHeight;
    const std::int64_t byWidth = static_cast<std::int64_t>(frameWidth) * sourceHeight;
    std::int64_t w, h;
    if (byHeight <= byWidth) {
        h = frameHeight;
        w = byHeight / sourceHeight;
    } else {
        w = frameWidth;
        h = byWidth / sourceWidth;
    }
    picture.width = static_cast<int>(w & ~std::int64_t{1});
    picture.height = static_cast<int>(h & ~std::int64_t{1});
    picture.x = (frameWidth - picture.width) / 2 & ~1;
    picture.y = (frameHeight - picture.height) / 2 & ~1;
    return picture;
}

VideoPicture integerPicture(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight) {
    VideoPicture picture;
    picture.frameWidth = frameWidth;
    picture.frameHeight = frameHeight;
    int scale = frameWidth / sourceWidth < frameHeight / sourceHeight ? frameWidth / sourceWidth
                                                                      : frameHeight / sourceHeight;
    scale = scale > 1 ? scale : 1;
    picture.width = sourceWidth * scale;
    picture.height = sourceHeight * scale;
    picture.x = (frameWidth - picture.width) / 2 & ~1;
    picture.y = (frameHeight - picture.height) / 2 & ~1;
    return picture;
}

VideoPicture pictureFor(const VideoSize& size, int sourceWidth, int sourceHeight) {
    switch (size.kind) {
    case VideoSizeKind::integer:
        return integerPicture(sourceWidth, sourceHeight, size.width, size.height);
    case VideoSizeKind::fit:
        return fitPicture(sourceWidth, sourceHeight, size.width, size.height);
    case VideoSizeKind::native:
        break;
    }
    return fitPicture(sourceWidth, sourceHeight, sourceWidth, sourceHeight);
}

void placePicture(const VideoPicture& picture, const std::uint8_t* source, int sourceWidth,
                  int sourceHeight, std::uint8_t* frame, bool bordersDrawn) {
    const std::size_t frameStride = static_cast<std::size_t>(picture.frameWidth) * 3;
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
    if (!bordersDrawn)
        std::memset(frame, 0, frameStride * static_cast<std::size_t>(picture.frameHeight));
    int previousRow = -1;
    for (int y = 0; y < picture.height; ++y) {
        const int sy =
            static_cast<int>(static_cast<std::int64_t>(y) * sourceHeight / picture.height);
        const std::uint8_t* row = source + static_cast<std::size_t>(sy) * sourceWidth * 3;
        std::uint8_t* out = frame + static_cast<std::size_t>(picture.y + y) * frameStride +
                            static_cast<std::size_t>(picture.x) * 3;
        if (sy == previousRow) {
            std::memcpy(out, out - frameStride, rowBytes);
            continue;
        }
        previousRow = sy;
        if (picture.width == sourceWidth) {
            std::memcpy(out, row, static_cast<std::size_t>(sourceWidth) * 3);
            continue;
        }
        if (picture.width % sourceWidth == 0) {
            // A whole factor: each source pixel repeated, no division a pixel.
            const int scale = picture.width / sourceWidth;
            for (int sx = 0; sx < sourceWidth; ++sx, row += 3)
                for (int k = 0; k < scale; ++k, out += 3) {
                    out[0] = row[0];
                    out[1] = row[1];
                    out[2] = row[2];
                }
            continue;
        }
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p =
                row + static_cast<std::int64_t>(x) * sourceWidth / picture.width * 3;
            out[x * 3] = p[0];
            out[x * 3 + 1] = p[1];
            out[x * 3 + 2] = p[2];
        }
    }
}
