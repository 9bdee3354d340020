// LockedStreamPlayer: the shared stream calls, each under the player's lock.
#include "platform/posix/audio/locked_stream_player.h"

std::uint32_t LockedStreamPlayer::streamCreateFromMemory(const void* data, std::uint32_t length) {
    std::lock_guard<std::mutex> guard(lock);
    return openStream(data, length, "the music does not decode");
}

bool LockedStreamPlayer::streamPlay(std::uint32_t stream, bool restart) {
    std::lock_guard<std::mutex> guard(lock);
    if (!valid(stream))
        return false;
    if (restart)
        standAt(0);
    playing = true;
    return true;
}

bool LockedStreamPlayer::streamPause(std::uint32_t stream) {
    std::lock_guard<std::mutex> guard(lock);
    if (!valid(stream))
        return false;
    pauseWhereHeard();
    return true;
}

std::uint64_t LockedStreamPlayer::streamGetPosition(std::uint32_t stream) {
    std::lock_guard<std::mutex> guard(lock);
    if (!valid(stream))
        return 0;
    return heardFrame() * VorbisStream::bytesPerFrame;
}

bool LockedStreamPlayer::streamSetPosition(std::uint32_t stream, std::uint64_t bytes) {
    std::lock_guard<std::mutex> guard(lock);
    if (!valid(stream))
        return false;
    standAt(bytes / VorbisStream::bytesPerFrame);
    return true;
}

bool LockedStreamPlayer::streamFree(std::uint32_t stream) {
    std::lock_guard<std::mutex> guard(lock);
    if (!valid(stream))
        return false;
    closeStream();
    return true;
}

std::uint64_t LockedStreamPlayer::framesHandedOut() {
    std::lock_guard<std::mutex> guard(lock);
    return music.position();
}

void LockedStreamPlayer::moveTo(std::uint64_t frame) {
    VorbisStreamPlayer::moveTo(frame);
    lastReported = frame;
}

std::uint64_t LockedStreamPlayer::climbTo(std::uint64_t device, std::uint64_t written) {
    if (device > written)
        device = written;
    std::uint64_t frame = heard.at(device, music.position());
    if (frame < lastReported)
        frame = lastReported;
    lastReported = frame;
    return frame;
}
