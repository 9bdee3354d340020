// SdlAudioPlayer: SDL2's callback API at 44100 Hz, stereo, signed 16-bit,
// 1024 frames per buffer. Everything the callback touches is guarded by SDL's
// device lock (the callback runs with it held; the main thread takes it).
#include "platform/posix/audio/sdl_audio_player.h"
#include "platform/posix/monotonic_clock.h"

#include "platform/posix/audio/quiet_stderr.h"
#include "platform/posix/posix_platform.h"

#include <SDL.h>
#ifdef SHADESTRIP_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// ALSA reports every card it cannot find on standard error, from whichever
// thread touches it, for as long as the program runs; SDL's own error text
// says what matters.
#ifdef SHADESTRIP_HAVE_ALSA
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

void quitSdlAudio() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (SDL_WasInit(0) == 0)
        SDL_Quit();
}

} // namespace

SdlAudioPlayer::~SdlAudioPlayer() {
    audioClose();
}

// --- Device ---

// What the opening thread and audioOpen share. The thread may outlive the
// call (a server that never answers); it then closes whatever it opened.
struct SdlAudioPlayer::Opening {
    std::mutex lock;
    bool done = false;
    bool abandoned = false;
    SDL_AudioDeviceID device = 0;
    char error[160] = {};
};

namespace {

// Runs on the opening thread: SDL's audio and the default device, paused (the
// callback cannot run before audioOpen starts it).
void openOnThread(const std::shared_ptr<SdlAudioPlayer::Opening>& opening, SDL_AudioSpec want) {
    SDL_AudioDeviceID opened = 0;
    char error[sizeof opening->error] = {};
    // Starting SDL's audio also starts its event queue, which by default turns
    // SIGINT and SIGTERM into quit events nobody reads: the terminal's own
    // handlers must keep them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::snprintf(error, sizeof error, "%s", SDL_GetError());
    } else {
        SDL_AudioSpec have;
        SDL_zero(have);
        // No changes allowed: SDL converts to whatever the hardware wants, and
        // the callback always sees exactly the format asked for.
        opened = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (opened == 0) {
            std::snprintf(error, sizeof error, "%s", SDL_GetError());
            quitSdlAudio();
        }
    }
    std::lock_guard<std::mutex> guard(opening->lock);
    if (opening->abandoned) {
        // Nobody waits any more: let go of what was opened.
        if (opened) {
            SDL_CloseAudioDevice(opened);
            quitSdlAudio();
        }
        return;
    }
    opening->device = opened;
    std::memcpy(opening->error, error, sizeof error);
    opening->done = true;
}

// What the opening thread is handed.
struct OpeningTask {
    std::shared_ptr<SdlAudioPlayer::Opening> opening;
    SDL_AudioSpec want;
};

// The opening thread is one of SDL's own: SDL keeps per-thread state (its
// error text) that only its own threads give back when they end.
int runOpening(void* data) {
    const std::unique_ptr<OpeningTask> task(static_cast<OpeningTask*>(data));
    openOnThread(task->opening, task->want);
    return 0;
}

} // namespace

bool SdlAudioPlayer::openDevice() {
#ifdef SHADESTRIP_HAVE_ALSA
    snd_lib_error_set_handler(&ignoreAlsaMessage);
#endif
    QuietStandardError quiet;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(VorbisStream::frameRate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(VorbisStream::channels);
    want.samples = static_cast<Uint16>(deviceBufferFrames);
    want.callback = &SdlAudioPlayer::deviceCallback;
    want.userdata = this;

    // The callback cannot run before the device is started, so no lock is needed.
    lastBufferStart = 0;
    lastCallbackTime = 0;
    deviceStarted = false;
    bufferFrames = deviceBufferFrames;
    const SDL_AudioDeviceID opened = openBounded(want);
    if (opened == 0)
        return false;
    device = opened;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

std::uint32_t SdlAudioPlayer::openBounded(const SDL_AudioSpec& want) {
    // SDL's drivers wait on a sound server as long as it takes (half a minute
    // and more for one that is stopped or silent), deaf to the user: the open
    // runs on a thread of its own, and this one waits for it within bounds.
    const auto opening = std::make_shared<Opening>();
    auto* task = new OpeningTask{opening, want};
    if (SDL_Thread* thread = SDL_CreateThread(&runOpening, "shadestrip-audio-open", task))
        SDL_DetachThread(thread);
    else
        runOpening(task);
    SDL_AudioDeviceID opened = 0;
    const Wait waited = waitForDevice(openDeadline(), [&](bool giveUp) {
        std::lock_guard<std::mutex> guard(opening->lock);
        if (!opening->done) {
            opening->abandoned = giveUp;
            return 0;
        }
        opened = opening->device;
        return opened ? 1 : -1;
    });
    if (waited == Wait::failed) {
        fail("no audio device", opening->error);
    } else if (waited != Wait::ready) {
        failWait(waited, "the sound device does not answer");
        openingLeftBehind = true;
    }
    return opened;
}

void SdlAudioPlayer::closeDevice() {
    SDL_CloseAudioDevice(device);
    device = 0;
    quitSdlAudio();
}

void SdlAudioPlayer::deviceCallback(void* player, std::uint8_t* out, int length) {
    const auto bytes = static_cast<std::uint32_t>(length > 0 ? length : 0);
    const std::uint32_t frames = bytes / VorbisStream::bytesPerFrame;
    static_cast<SdlAudioPlayer*>(player)->fill(reinterpret_cast<std::int16_t*>(out), frames);
    // A partial frame never happens with this format; keep it silent if it does.
    std::memset(out + frames * VorbisStream::bytesPerFrame, 0,
                bytes - frames * VorbisStream::bytesPerFrame);
}

void SdlAudioPlayer::fill(std::int16_t* out, std::uint32_t frames) {
    // The device asks for a buffer as the one before it starts playing: this
    // moment is the anchor of the heard-position estimate.
    lastCallbackTime = monotonicNanoseconds();
    lastBufferStart = deviceFrames;
    bufferFrames = frames;
    deviceStarted = true;
    handOver(out, frames);
}

std::uint64_t SdlAudioPlayer::heardFrame() {
    if (!playing || !deviceStarted || !heard.handedOut())
        return heard.start();
    std::int64_t elapsed = monotonicNanoseconds() - lastCallbackTime;
    if (elapsed < 0)
        elapsed = 0;
    // A second is far beyond any buffer; capping keeps the product in range.
    if (elapsed > 1000000000)
        elapsed = 1000000000;
    const std::uint64_t elapsedFrames =
        static_cast<std::uint64_t>(elapsed) * VorbisStream::frameRate / 1000000000u;
    return heard.at(pulledDeviceFrame(lastBufferStart, bufferFrames, elapsedFrames),
                    music.position());
}

void SdlAudioPlayer::lockDevice() {
    if (device)
        SDL_LockAudioDevice(device);
}

void SdlAudioPlayer::unlockDevice() {
    if (device)
        SDL_UnlockAudioDevice(device);
}
