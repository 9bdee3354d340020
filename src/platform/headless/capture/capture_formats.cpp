// The tables of formats and sizes, and the sentences --help makes of them.
#include "capture_formats.h"

#include "cell_png.h"
#include "platform/headless/frame_formats.h"

#include <cctype>

const StillFormat stillFormats[] = {
    {"cells", ".cells", encodeCells, "character and attribute bytes"},
    {"text", ".txt", encodeText, "UTF-8"},
    {"ansi", ".ans", encodeAnsi, "UTF-8 with colours, view with cat"},
    {"png", ".png", encodeCellsPng, "the VGA font, 720 x 800"},
};
const int stillFormatCount = sizeof stillFormats / sizeof stillFormats[0];

const VideoFormat videoFormats[] = {
    {"mp4", "mp4", "libx264", "aac", "H.264 and AAC"},
    {"webm", "webm", "libvpx-vp9", "libopus", "VP9 and Opus"},
    {"mkv", "matroska", "ffv1", "flac", "lossless FFV1 and FLAC, for checking"},
};
const int videoFormatCount = sizeof videoFormats / sizeof videoFormats[0];

// The picture is 720 x 800. Twice that keeps each of its pixels a whole 2 x 2
// block, so the colour planes of 4:2:0 video (half the resolution each way)
// hold each pixel's own colour; at 1080p the blocks straddle pixels and thin
// coloured strokes blend with their neighbours.
const VideoSize videoSizes[] = {
    {"2x", VideoSizeKind::integer, 1440, 1600,
     "1440 x 1600 (default): each pixel a 2 x 2 block, the\n"
     "block 4:2:0 video gives one colour: every colour kept"},
    {"4k", VideoSizeKind::integer, 3840, 2160, "3840 x 2160, the 2x picture centred on black"},
    {"1080p", VideoSizeKind::fit, 1920, 1080,
     "1920 x 1080, scaled 1.35x and centred on black; costs\n"
     "colour: thin coloured strokes blend with their\n"
     "neighbours, even shades band"},
    {"native", VideoSizeKind::native, 720, 800,
     "720 x 800 (default for .mkv); in .mp4 and .webm each\n"
     "colour is shared by 2 x 2 different pixels"},
};
const int videoSizeCount = sizeof videoSizes / sizeof videoSizes[0];

const StillFormat* findStillFormat(const std::string& name) {
    for (const StillFormat& format : stillFormats)
        if (name == format.name)
            return &format;
    return nullptr;
}

const VideoFormat* videoFormatOf(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return nullptr;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const VideoFormat& format : videoFormats)
        if (extension == format.extension)
            return &format;
    return nullptr;
}

const VideoSize* findVideoSize(const std::string& name) {
    for (const VideoSize& size : videoSizes)
        if (name == size.name)
            return &size;
    return nullptr;
}

bool isLossless(const VideoFormat& format) {
    return std::string(format.videoEncoder) == "ffv1";
}

const VideoSize& defaultVideoSize(const VideoFormat& format) {
    // The lossless file is for checking frames: more pixels would hold nothing more.
    return isLossless(format) ? *findVideoSize("native") : videoSizes[0];
}

namespace {

// "a, b or c" of the names the function gives for each entry.
template <typename Entry, typename Name>
std::string sentence(const Entry* entries, int count, Name name) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += i + 1 == count ? " or " : ", ";
        text += name(entries[i]);
    }
    return text;
}

} // namespace

std::string stillFormatNames() {
    return sentence(stillFormats, stillFormatCount,
                    [](const StillFormat& f) { return std::string(f.name); });
}

std::string videoExtensions() {
    return sentence(videoFormats, videoFormatCount,
                    [](const VideoFormat& f) { return "." + std::string(f.extension); });
}

std::string videoSizeNames() {
    return sentence(videoSizes, videoSizeCount,
                    [](const VideoSize& s) { return std::string(s.name); });
}
