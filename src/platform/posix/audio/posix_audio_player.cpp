// PosixAudioPlayer: the choice of device, the bounded close, and the players
// the POSIX program is built with.
#include "platform/posix/audio/posix_audio_player.h"

#include "audio/vorbis_stream.h"
#include "platform/posix/audio/sdl_audio_player.h"
#include "platform/posix/posix_platform.h"
#ifdef SHADESTRIP_HAVE_PULSE
#include "platform/posix/audio/pulse_audio_player.h"
#else
// Without libpulse there is never a PulseAudio player to ask.
class PulseAudioPlayer : public AudioPlayer {
  public:
    bool serverAbsent() const { return true; }
};
#endif
#ifdef SHADESTRIP_HAVE_ALSA
#include "platform/posix/audio/alsa_audio_player.h"
#else
// Without alsa-lib there is never an ALSA player to ask.
class AlsaAudioPlayer : public AudioPlayer {
  public:
    bool serverAbsent() const { return true; }
};
#endif
#ifdef SHADESTRIP_HAVE_PIPEWIRE
#include "platform/posix/audio/pipewire_audio_player.h"
#else
// Without libpipewire there is never a PipeWire player to ask.
class PipeWireAudioPlayer : public AudioPlayer {
  public:
    bool serverAbsent() const { return true; }
};
#endif

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

PosixAudioPlayer::Choice PosixAudioPlayer::choiceFromEnvironment() {
    const char* own = std::getenv("SHADESTRIP_AUDIO");
    if (own && std::strcmp(own, "pipewire") == 0)
        return Choice::pipewireOnly;
    if (own && std::strcmp(own, "pulse") == 0)
        return Choice::pulseOnly;
    if (own && std::strcmp(own, "alsa") == 0)
        return Choice::alsaOnly;
    if (own && std::strcmp(own, "sdl") == 0)
        return Choice::sdlOnly;
    const char* sdlDriver = std::getenv("SDL_AUDIODRIVER");
    if (sdlDriver && sdlDriver[0] && std::strcmp(sdlDriver, "pulseaudio") != 0)
        return Choice::sdlOnly;
    return Choice::all;
}

template <class Server>
bool PosixAudioPlayer::tryServer(Server* server, std::uint32_t rate, bool& next) {
    next = true;
    if (!server)
        return false;
    if (server->audioOpen(rate)) {
        current = server;
        return true;
    }
    reason = server->failureReason();
    // A server that is there but does not answer would hold the next player
    // up the same way (PipeWire serves the PulseAudio protocol too, and SDL's
    // first choice is the same server): only a missing server lets it try.
    next = server->serverAbsent();
    return false;
}

bool PosixAudioPlayer::audioOpen(std::uint32_t rate) {
    if (leftBehind)
        return false;
    if (current)
        return current->audioOpen(rate);
    reason = nullptr;
    const Choice choice = choiceFromEnvironment();
    bool next = true;
    // A PULSE_SERVER of the user's names the server to play on.
    const char* pulseServer = std::getenv("PULSE_SERVER");
    const bool pulseFirst = pulseServer && pulseServer[0];
    if (choice == Choice::all && pulseFirst) {
        if (tryServer(pulse, rate, next))
            return true;
        if (next && tryServer(pipewire, rate, next))
            return true;
    } else if (choice == Choice::all) {
        if (tryServer(pipewire, rate, next))
            return true;
        if (next && tryServer(pulse, rate, next))
            return true;
    } else if (choice == Choice::pipewireOnly) {
        return tryServer(pipewire, rate, next);
    } else if (choice == Choice::pulseOnly) {
        return tryServer(pulse, rate, next);
    } else if (choice == Choice::alsaOnly) {
        return tryServer(alsa, rate, next);
    }
    if (next && choice == Choice::all && tryServer(alsa, rate, next))
        return true;
    if (!next || !sdl)
        return false;
    if (sdl->audioOpen(rate)) {
        current = sdl;
        return true;
    }
    reason = sdl->failureReason();
    return false;
}

void PosixAudioPlayer::audioClose() {
    AudioPlayer* player = usable();
    if (!player)
        return;
    struct Closing {
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
    };
    // Shared with the helper thread, which may outlive this call.
    const auto closing = std::make_shared<Closing>();
    try {
        std::thread([player, closing] {
            player->audioClose();
            std::lock_guard<std::mutex> guard(closing->lock);
            closing->done = true;
            closing->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: close here, unbounded.
        player->audioClose();
        return;
    }
    std::unique_lock<std::mutex> guard(closing->lock);
    if (!closing->ended.wait_for(guard, std::chrono::milliseconds(closeTimeoutMs),
                                 [&] { return closing->done; }))
        leftBehind = true;
}

double PosixAudioPlayer::streamBytesToSeconds(std::uint32_t, std::uint64_t bytes) {
    return VorbisStream::bytesToSeconds(bytes);
}

std::uint64_t PosixAudioPlayer::streamSecondsToBytes(std::uint32_t, float seconds) {
    return VorbisStream::secondsToBytes(seconds);
}

const char* PosixAudioPlayer::failureReason() const {
    if (current && !leftBehind)
        return current->failureReason();
    return reason;
}

void PosixAudioPlayer::setCancelCheck(CancelCheck check, void* context) {
    if (pipewire)
        pipewire->setCancelCheck(check, context);
    if (alsa)
        alsa->setCancelCheck(check, context);
    if (pulse)
        pulse->setCancelCheck(check, context);
    if (sdl)
        sdl->setCancelCheck(check, context);
}

namespace {

// The candidates this build has, made once.
PosixAudioPlayer* makePosixAudioPlayer() {
    PulseAudioPlayer* pulse = nullptr;
    PipeWireAudioPlayer* pipewire = nullptr;
    AlsaAudioPlayer* alsa = nullptr;
#ifdef SHADESTRIP_HAVE_PULSE
    pulse = new PulseAudioPlayer;
#endif
#ifdef SHADESTRIP_HAVE_PIPEWIRE
    pipewire = new PipeWireAudioPlayer;
#endif
#ifdef SHADESTRIP_HAVE_ALSA
    alsa = new AlsaAudioPlayer;
#endif
    return new PosixAudioPlayer(pulse, new SdlAudioPlayer, pipewire, alsa);
}

} // namespace

AudioPlayer& posixAudioPlayer() {
    // Never destroyed: a close that was left behind may still be running at exit.
    static PosixAudioPlayer* player = makePosixAudioPlayer();
    return *player;
}
