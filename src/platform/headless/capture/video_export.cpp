// The video run: show frames and track samples into a VideoEncoder. The show
// is drawn on a thread of its own, a few frames ahead of the encoder, so that
// the drawing overlaps the conversion and the encoder's own calls instead of
// taking turns with them.
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
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
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

// The track's own samples for frames first to last: 44100 Hz stereo,
// interleaved. False if the music cannot be decoded.
bool readTrack(std::int64_t first, std::int64_t last, int fps, std::vector<std::int16_t>& samples) {
    ResourceBlob music;
    VorbisStream track;
    if (!music.load(resourceId::music) || !track.open(music.data, music.size))
        return false;
    const std::int64_t firstSample = sampleOfFrame(first, fps);
    const std::int64_t sampleCount = sampleOfFrame(last + 1, fps) - firstSample;
    samples.assign(static_cast<std::size_t>(sampleCount) * 2, 0);
    track.seek(static_cast<std::uint64_t>(firstSample));
    for (std::int64_t done = 0; done < sampleCount;) {
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(sampleCount - done < 65536 ? sampleCount - done : 65536);
        track.read(samples.data() + done * 2, chunk);
        done += chunk;
    }
    return true;
}

VideoStreamSettings streamSettings(const CaptureOptions& options, std::int64_t count) {
    VideoStreamSettings settings;
    settings.fps = options.fps;
    settings.frames = count;
    settings.sourceWidth = consoleColumns * cellPixelWidth;
    settings.sourceHeight = consoleRows * cellPixelHeight;
    settings.picture = pictureFor(*options.size, settings.sourceWidth, settings.sourceHeight);
    return settings;
}

// The frames between the drawing thread and the encoder: a ring of captures,
// each either drawn or marked as a repeat of the frame before. The drawing
// thread fills the slot at `drawn` while fewer than `depth` wait; the encoder
// takes the slot at `taken`.
struct FrameQueue {
    static constexpr int depth = 3;
    std::vector<std::uint8_t> captures[depth];
    bool repeated[depth] = {};
    std::int64_t drawn = 0, taken = 0;
    bool drawingEnded = false, encodingEnded = false;
    std::string failure; // why the drawing ended before the last frame
    std::mutex lock;
    std::condition_variable changed;
};

// The drawing thread: frames first to last into the queue. The show's frames
// often repeat: a frame whose cells are those of the one before is neither
// drawn nor converted again. Ends early on a stop signal, a show that ended,
// or an encoder that gave up.
void drawFrames(HeadlessShow& show, std::int64_t first, std::int64_t last, int stride,
                FrameQueue& queue) {
    std::vector<Cell> previous(static_cast<std::size_t>(consoleColumns) * consoleRows);
    const std::size_t cellBytes = previous.size() * sizeof(Cell);
    std::string failure;
    for (std::int64_t n = first; n <= last && !stopped(); ++n) {
        {
            std::unique_lock<std::mutex> hold(queue.lock);
            queue.changed.wait(hold, [&] {
                return queue.drawn - queue.taken < FrameQueue::depth || queue.encodingEnded;
            });
            if (queue.encodingEnded)
                break;
        }
        if (!show.runTo(n)) {
            failure = "the show ended before " + std::to_string(show.timeOf(n)) + " s";
            break;
        }
        // Only this thread changes `drawn`, and the encoder is done with this slot.
        const int slot = static_cast<int>(queue.drawn % FrameQueue::depth);
        const bool repeated =
            n > first && std::memcmp(previous.data(), show.cells(), cellBytes) == 0;
        if (!repeated) {
            std::memcpy(previous.data(), show.cells(), cellBytes);
            renderCellsRgb(show.cells(), consoleColumns, consoleRows, queue.captures[slot].data(),
                           stride);
        }
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.repeated[slot] = repeated;
        ++queue.drawn;
        queue.changed.notify_all();
    }
    std::lock_guard<std::mutex> hold(queue.lock);
    queue.failure = failure;
    queue.drawingEnded = true;
    queue.changed.notify_all();
}

// Encodes frames first to last as the drawing thread delivers them, with
// progress. 0, or the exit status of a failure or a stop, its message written
// after the progress line has ended.
int encodeFrames(HeadlessShow& show, std::int64_t first, std::int64_t last,
                 const VideoStreamSettings& settings, VideoEncoder& encoder, Progress& progress,
                 const std::string& path) {
    FrameQueue queue;
    for (std::vector<std::uint8_t>& capture : queue.captures)
        capture.assign(static_cast<std::size_t>(settings.sourceWidth) * settings.sourceHeight * 3,
                       0);
    std::thread drawing(drawFrames, std::ref(show), first, last, settings.sourceWidth * 3,
                        std::ref(queue));
    std::string error;
    bool encoded = true;
    for (std::int64_t n = first; n <= last && encoded && !stopped(); ++n) {
        int slot = 0;
        {
            std::unique_lock<std::mutex> hold(queue.lock);
            queue.changed.wait(hold,
                               [&] { return queue.taken < queue.drawn || queue.drawingEnded; });
            if (queue.taken == queue.drawn)
                break;
            slot = static_cast<int>(queue.taken % FrameQueue::depth);
        }
        encoded =
            encoder.addFrame(queue.repeated[slot] ? nullptr : queue.captures[slot].data(), error);
        std::lock_guard<std::mutex> hold(queue.lock);
        ++queue.taken;
        queue.changed.notify_all();
        progress.update(n - first + 1);
    }
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.encodingEnded = true;
        queue.changed.notify_all();
    }
    drawing.join();
    if (encoded && !stopped() && queue.failure.empty())
        return 0;
    progress.end();
    if (stopped()) {
        encoder.abandon();
        return stoppedStatus(path);
    }
    return captureFailure(encoded ? queue.failure : error);
}

void reportWritten(const std::string& path, const HeadlessShow& show, std::int64_t first,
                   std::int64_t count, const VideoStreamSettings& settings,
                   const std::string& codecs, double seconds) {
    std::error_code code;
    const double megabytes = static_cast<double>(std::filesystem::file_size(path, code)) / 1e6;
    const double duration = static_cast<double>(count) / settings.fps;
    std::fprintf(stderr,
                 "wrote %s: %.3f s from t = %.3f s, %lld frames at %d fps, %dx%d %s, "
                 "%.1f MB, in %.1f s (%.2fx real time)\n",
                 printable(path).c_str(), duration, show.timeOf(first),
                 static_cast<long long>(count), settings.fps, settings.picture.frameWidth,
                 settings.picture.frameHeight, codecs.c_str(), code ? 0.0 : megabytes, seconds,
                 seconds > 0 ? duration / seconds : 0.0);
}

} // namespace

int exportVideo(const CaptureOptions& options) {
    const std::string& path = options.video;
    const std::int64_t first = options.frames.front();
    const std::int64_t last = options.frames.back();
    const std::int64_t count = last - first + 1;

    // The sound: the track's own samples from the first frame's time on.
    std::vector<std::int16_t> samples;
    if (!readTrack(first, last, options.fps, samples))
        return captureFailure("cannot decode the music");
    const VideoStreamSettings settings = streamSettings(options, count);
    std::string error;
    VideoEncoder encoder;
    if (!encoder.open(path, *options.videoFormat, settings, samples.data(),
                      static_cast<std::int64_t>(samples.size() / 2), error))
        return stopped() ? stoppedStatus(path) : captureFailure(error);

    HeadlessShow show(options.fps);
    if (!show.start())
        return captureFailure("the show could not start");
    // The frames before the range are run first, so the progress shows the export's own pace.
    while (show.frame() < first - 1 && !stopped())
        if (!show.step())
            return captureFailure("the show ended before " + std::to_string(show.timeOf(first)) +
                                  " s");
    Progress progress(count);
    const int status = encodeFrames(show, first, last, settings, encoder, progress, path);
    if (status != 0)
        return status;
    const std::string codecs = encoder.videoCodec() + " + " + encoder.audioCodec();
    const bool finished = encoder.finish(error);
    progress.end();
    if (!finished)
        return captureFailure(error);
    reportWritten(path, show, first, count, settings, codecs, progress.elapsed());
    return 0;
}
