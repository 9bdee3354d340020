// DeviceStreamPlayer: the stream calls, the open's and close's shared steps,
// and the heard frame from a device's timing snapshot.
#include "platform/device_stream_player.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr std::int64_t nsPerMs = 1000000;
constexpr std::int64_t nsPerSecond = 1000000000;
} // namespace

// --- Device ---

bool DeviceStreamPlayer::audioOpen(std::uint32_t rate) {
    if (deviceOpen())
        return true;
    clearFailure();
    absent = false;
    if (rate != VorbisStream::frameRate) {
        fail("no audio device", "the music plays only at 44100 Hz");
        return false;
    }
    if (openingLeftBehind) {
        fail("no audio device", "an earlier open never ended");
        return false;
    }
    {
        Guard guard(*this);
        deviceFrames = 0;
        snapshot = Snapshot{};
    }
    if (!openDevice())
        return false;
    // A stream made (and perhaps played) before the device opened.
    Guard guard(*this);
    runChanged();
    return true;
}

void DeviceStreamPlayer::audioClose() {
    if (!deviceOpen())
        return;
    {
        Guard guard(*this);
        stopWhereHeard();
        snapshot.taken = false;
    }
    closeDevice();
}

std::int64_t DeviceStreamPlayer::openDeadline() const {
    return clockNanoseconds() + openTimeoutMs * nsPerMs;
}

void DeviceStreamPlayer::failWait(Wait waited, const char* noAnswer) {
    if (waited == Wait::cancelled) {
        fail("cancelled");
    } else if (waited == Wait::timedOut) {
        char why[64];
        std::snprintf(why, sizeof why, "no answer within %u s", openTimeoutMs / 1000);
        fail(noAnswer, why);
    }
}

// --- Stream ---

std::uint32_t DeviceStreamPlayer::streamCreateFromMemory(const void* data, std::uint32_t length) {
    Guard guard(*this);
    return openStream(data, length, "the music does not decode");
}

template <class Action> bool DeviceStreamPlayer::onStream(std::uint32_t stream, Action action) {
    Guard guard(*this);
    if (!valid(stream))
        return false;
    action();
    return true;
}

bool DeviceStreamPlayer::streamPlay(std::uint32_t stream, bool restart) {
    return onStream(stream, [&] {
        if (playing && !restart)
            return;
        if (restart)
            standAt(0);
        // While stopped, the decoder already stands at the run's start.
        playing = true;
        runChanged();
    });
}

bool DeviceStreamPlayer::streamPause(std::uint32_t stream) {
    return onStream(stream, [this] {
        if (!playing)
            return;
        pauseWhereHeard();
        runChanged();
    });
}

std::uint64_t DeviceStreamPlayer::streamGetPosition(std::uint32_t stream) {
    Guard guard(*this);
    if (!valid(stream))
        return 0;
    return heardFrame() * VorbisStream::bytesPerFrame;
}

bool DeviceStreamPlayer::streamSetPosition(std::uint32_t stream, std::uint64_t bytes) {
    return onStream(stream, [&] {
        standAt(bytes / VorbisStream::bytesPerFrame);
        runChanged();
    });
}

bool DeviceStreamPlayer::streamFree(std::uint32_t stream) {
    return onStream(stream, [this] {
        closeStream();
        runChanged();
    });
}

std::uint64_t DeviceStreamPlayer::framesHandedOut() {
    Guard guard(*this);
    return music.position();
}

// --- Device thread ---

void DeviceStreamPlayer::handOver(std::int16_t* out, std::uint32_t frames) {
    if (playing) {
        heard.handOut(deviceFrames);
        music.read(out, frames);
    } else {
        std::memset(out, 0, static_cast<std::size_t>(frames) * VorbisStream::bytesPerFrame);
    }
    deviceFrames += frames;
}

// --- Position ---

void DeviceStreamPlayer::moveTo(std::uint64_t frame) {
    VorbisStreamPlayer::moveTo(frame);
    lastReported = frame;
}

std::uint64_t DeviceStreamPlayer::climbTo(std::uint64_t device) {
    if (device > deviceFrames)
        device = deviceFrames;
    std::uint64_t frame = heard.at(device, music.position());
    if (frame < lastReported)
        frame = lastReported;
    lastReported = frame;
    return frame;
}

std::uint64_t DeviceStreamPlayer::Snapshot::frameAt(std::int64_t now) const {
    if (!running)
        return frame;
    std::int64_t elapsed = now - time;
    if (elapsed < 0)
        elapsed = 0;
    if (elapsed > extrapolationLimitMs * nsPerMs)
        elapsed = extrapolationLimitMs * nsPerMs;
    return frame + static_cast<std::uint64_t>(elapsed) * VorbisStream::frameRate / nsPerSecond;
}

std::uint64_t DeviceStreamPlayer::heardFrame() {
    if (!playing || !snapshot.taken || !heard.handedOut())
        return heard.start();
    return climbTo(snapshot.frameAt(clockNanoseconds()));
}
