// VorbisStreamPlayer: the stream bookkeeping the decoding players share.
#include "platform/vorbis_stream_player.h"

#include <cstdio>

double VorbisStreamPlayer::streamBytesToSeconds(std::uint32_t, std::uint64_t bytes) {
    return VorbisStream::bytesToSeconds(bytes);
}

std::uint64_t VorbisStreamPlayer::streamSecondsToBytes(std::uint32_t, float seconds) {
    return VorbisStream::secondsToBytes(seconds);
}

const char* VorbisStreamPlayer::failureReason() const {
    return reason[0] ? reason : nullptr;
}

void VorbisStreamPlayer::fail(const char* what, const char* why) {
    std::snprintf(reason, sizeof reason, "%s%s%s", what, why ? ": " : "", why ? why : "");
}

// --- Stream ---

std::uint32_t VorbisStreamPlayer::openStream(const void* data, std::uint32_t length,
                                             const char* undecodable) {
    if (handle)
        return 0;
    if (!music.open(data, length)) {
        if (undecodable)
            fail(undecodable);
        return 0;
    }
    if (++lastHandle == 0)
        ++lastHandle;
    handle = lastHandle;
    playing = false;
    moveTo(0);
    return handle;
}

void VorbisStreamPlayer::closeStream() {
    playing = false;
    music.close();
    moveTo(0);
    handle = 0;
}

void VorbisStreamPlayer::standAt(std::uint64_t frame) {
    music.seek(frame);
    moveTo(music.position());
}

void VorbisStreamPlayer::stopWhereHeard() {
    if (!playing)
        return;
    const std::uint64_t frame = heardFrame();
    playing = false;
    standAt(frame);
}

void VorbisStreamPlayer::pauseWhereHeard() {
    if (!playing)
        return;
    const std::uint64_t frame = heardFrame();
    playing = false;
    if (music.position() != frame || music.ended())
        music.seek(frame);
    moveTo(music.position());
}
