// The video run: show frames and track samples into a VideoEncoder.
#include "video_export.h"

#include "audio/vorbis_stream.h"
#include "cell_png.h"
#include "platform/headless/headless_show.h"
#include "progress.h"
#include "scenes/resource_blob.h"
#include "video_encoder.h"
#include "video_picture.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// Interrupted, the export stops between frames and removes its file.
struct InterruptGuard {
    void (*previousInt)(int) = std::signal(SIGINT, onInterrupt);
    void (*previousTerm)(int) = std::signal(SIGTERM, onInterrupt);
    ~InterruptGuard() {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    }
};

// The track position of frame n, as the headless player places it.
std::int64_t sampleOfFrame(std::int64_t n, int fps) {
    return std::llround(static_cast<double>(n) / fps * VorbisStream::frameRate);
}

} // namespace

int exportVideo(const CaptureOptions& options) {
    const std::string& path = options.video;
    if (VideoEncoder::kindOf(path).empty())
        return captureFailure("--video " + path + ": the name must end in .mp4, .webm or .mkv", 2);
    const InterruptGuard guard;
    const std::int64_t first = options.frames.front();
    const std::int64_t last = options.frames.back();
    const std::int64_t count = last - first + 1;

    // The sound: the track's own samples from the first frame's time on.
    ResourceBlob music;
    VorbisStream track;
    if (!music.load(resourceId::music) || !track.open(music.data, music.size))
        return captureFailure("cannot decode the music");
    const std::int64_t firstSample = sampleOfFrame(first, options.fps);
    const std::int64_t sampleCount = sampleOfFrame(last + 1, options.fps) - firstSample;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(sampleCount) * 2);
    track.seek(static_cast<std::uint64_t>(firstSample));
    for (std::int64_t done = 0; done < sampleCount;) {
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(sampleCount - done < 65536 ? sampleCount - done : 65536);
        track.read(samples.data() + done * 2, chunk);
        done += chunk;
    }

    const int sourceWidth = consoleColumns * cellPixelWidth;
    const int sourceHeight = consoleRows * cellPixelHeight;
    const VideoPicture picture =
        options.nativeSize ? fitPicture(sourceWidth, sourceHeight, sourceWidth, sourceHeight)
                           : fitPicture(sourceWidth, sourceHeight, 1920, 1080);
    std::vector<std::uint8_t> capture(static_cast<std::size_t>(sourceWidth) * sourceHeight * 3);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(picture.frameWidth) *
                                    picture.frameHeight * 3);

    std::string error;
    VideoEncoder encoder;
    if (!encoder.open(path, options.fps, picture.frameWidth, picture.frameHeight, count,
                      samples.data(), sampleCount, error))
        return captureFailure(error);

    HeadlessShow show(options.fps);
    if (!show.start())
        return captureFailure("the show could not start");

    // The frames before the range are run first, so the progress shows the export's own pace.
    if (!show.runTo(first - 1))
        return captureFailure("the show ended before " + std::to_string(show.timeOf(first)) + " s");
    Progress progress(count);
    for (std::int64_t n = first; n <= last; ++n) {
        if (interrupted) {
            progress.end();
            encoder.abandon();
            return captureFailure("interrupted; " + path + " not written", 130);
        }
        if (!show.runTo(n)) {
            progress.end();
            return captureFailure("the show ended before " + std::to_string(show.timeOf(n)) + " s");
        }
        renderCellsRgb(show.cells(), consoleColumns, consoleRows, capture.data(), sourceWidth * 3);
        placePicture(picture, capture.data(), sourceWidth, sourceHeight, frame.data());
        if (!encoder.addFrame(frame.data(), error)) {
            progress.end();
            return captureFailure(error);
        }
        progress.update(n - first + 1);
    }
    const std::string videoCodec = encoder.videoCodec(), audioCodec = encoder.audioCodec();
    const bool finished = encoder.finish(error);
    progress.end();
    if (!finished)
        return captureFailure(error);

    std::error_code code;
    const double megabytes = static_cast<double>(std::filesystem::file_size(path, code)) / 1e6;
    const double seconds = progress.elapsed();
    const double duration = static_cast<double>(count) / options.fps;
    std::fprintf(stderr,
                 "wrote %s: %.3f s from t = %.3f s, %lld frames at %d fps, %dx%d %s + %s, "
                 "%.1f MB, in %.1f s (%.2fx real time)\n",
                 path.c_str(), duration, show.timeOf(first), static_cast<long long>(count),
                 options.fps, picture.frameWidth, picture.frameHeight, videoCodec.c_str(),
                 audioCodec.c_str(), code ? 0.0 : megabytes, seconds,
                 seconds > 0 ? duration / seconds : 0.0);
    return 0;
}
