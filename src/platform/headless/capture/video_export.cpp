// The video run: show frames and track samples into a VideoEncoder.
#include "video_export.h"

#include "audio/vorbis_stream.h"
#include "cell_png.h"
#include "platform/headless/headless_show.h"
#include "progress.h"
#include "scenes/resource_blob.h"
#include "stop_signals.h"
#include "video_encoder.h"
#include "video_picture.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

bool stopped() {
    return StopSignals::received() != 0;
}

int stoppedStatus(const std::string& path) {
    return captureFailure("stopped by signal " + std::to_string(StopSignals::received()) + "; " +
                              path + " not written",
                          StopSignals::exitStatus());
}

// The track position of frame n, as the headless player places it.
std::int64_t sampleOfFrame(std::int64_t n, int fps) {
    return std::llround(static_cast<double>(n) / fps * VorbisStream::frameRate);
}

} // namespace

int exportVideo(const CaptureOptions& options) {
    const std::string& path = options.video;
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
    const VideoPicture picture = pictureFor(*options.size, sourceWidth, sourceHeight);
    std::vector<std::uint8_t> capture(static_cast<std::size_t>(sourceWidth) * sourceHeight * 3);
    VideoStreamSettings settings;
    settings.fps = options.fps;
    settings.frames = count;
    settings.sourceWidth = sourceWidth;
    settings.sourceHeight = sourceHeight;
    settings.picture = picture;

    std::string error;
    VideoEncoder encoder;
    if (!encoder.open(path, *options.videoFormat, settings, samples.data(), sampleCount, error))
        return stopped() ? stoppedStatus(path) : captureFailure(error);

    HeadlessShow show(options.fps);
    if (!show.start())
        return captureFailure("the show could not start");

    // The frames before the range are run first, so the progress shows the export's own pace.
    while (show.frame() < first - 1 && !stopped())
        if (!show.step())
            return captureFailure("the show ended before " + std::to_string(show.timeOf(first)) +
                                  " s");
    // The show's frames often repeat: a frame whose cells are those of the one
    // before is neither drawn nor converted again.
    std::vector<Cell> previous(static_cast<std::size_t>(consoleColumns) * consoleRows);
    const std::size_t cellBytes = previous.size() * sizeof(Cell);
    Progress progress(count);
    for (std::int64_t n = first; n <= last; ++n) {
        if (stopped()) {
            progress.end();
            encoder.abandon();
            return stoppedStatus(path);
        }
        if (!show.runTo(n)) {
            progress.end();
            return captureFailure("the show ended before " + std::to_string(show.timeOf(n)) + " s");
        }
        const bool repeated =
            n > first && std::memcmp(previous.data(), show.cells(), cellBytes) == 0;
        if (!repeated) {
            std::memcpy(previous.data(), show.cells(), cellBytes);
            renderCellsRgb(show.cells(), consoleColumns, consoleRows, capture.data(),
                           sourceWidth * 3);
        }
        if (!encoder.addFrame(repeated ? nullptr : capture.data(), error)) {
            progress.end();
            return stopped() ? stoppedStatus(path) : captureFailure(error);
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
                 printable(path).c_str(), duration, show.timeOf(first),
                 static_cast<long long>(count), options.fps, picture.frameWidth,
                 picture.frameHeight, videoCodec.c_str(), audioCodec.c_str(),
                 code ? 0.0 : megabytes, seconds, seconds > 0 ? duration / seconds : 0.0);
    return 0;
}
