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

void placePicture(const VideoPicture& picture, const std::uint8_t* source, int sourceWidth,
                  int sourceHeight, std::uint8_t* frame) {
    const std::size_t frameStride = static_cast<std::size_t>(picture.frameWidth) * 3;
    std::memset(frame, 0, frameStride * static_cast<std::size_t>(picture.frameHeight));
    for (int y = 0; y < picture.height; ++y) {
        const int sy =
            static_cast<int>(static_cast<std::int64_t>(y) * sourceHeight / picture.height);
        const std::uint8_t* row = source + static_cast<std::size_t>(sy) * sourceWidth * 3;
        std::uint8_t* out = frame + static_cast<std::size_t>(picture.y + y) * frameStride +
                            static_cast<std::size_t>(picture.x) * 3;
        if (picture.width == sourceWidth) {
            std::memcpy(out, row, static_cast<std::size_t>(sourceWidth) * 3);
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
