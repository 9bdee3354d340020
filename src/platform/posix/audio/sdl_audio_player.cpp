// SdlAudioPlayer: SDL2's callback API at 44100 Hz, stereo, signed 16-bit,
// 1024 frames per buffer. Everything the callback touches is guarded by SDL's
// device lock (the callback runs with it held; the main thread takes it).
#include "platform/posix/audio/sdl_audio_player.h"
#include "imaging/non_copyable.h"
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

// Holds the device lock, so the callback is not running and will not start.
class DeviceLock : NonCopyable {
  public:
    explicit DeviceLock(SDL_AudioDeviceID device) : device(device) {
        if (device)
            SDL_LockAudioDevice(device);
    }
    ~DeviceLock() {
        if (device)
            SDL_UnlockAudioDevice(device);
    }

  private:
    SDL_AudioDeviceID device;
};

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
void openDevice(const std::shared_ptr<SdlAudioPlayer::Opening>& opening, SDL_AudioSpec want) {
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
    openDevice(task->opening, task->want);
    return 0;
}

} // namespace

bool SdlAudioPlayer::audioOpen(std::uint32_t rate) {
    if (device)
        return true;
    clearFailure();
    if (rate != VorbisStream::frameRate) {
        fail("no audio device", "the music plays only at 44100 Hz");
        return false;
    }
    if (openingLeftBehind) {
        // SDL's audio still belongs to the thread that never came back.
        fail("no audio device", "an earlier open never ended");
        return false;
    }
#ifdef SHADESTRIP_HAVE_ALSA
    snd_lib_error_set_handler(&ignoreAlsaMessage);
#endif
    QuietStandardError quiet;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(VorbisStream::channels);
    want.samples = static_cast<Uint16>(deviceBufferFrames);
    want.callback = &SdlAudioPlayer::deviceCallback;
    want.userdata = this;

    // The callback cannot run before the device is started, so no lock is needed.
    deviceFrames = 0;
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
    const std::int64_t deadline = monotonicNanoseconds() + openTimeoutMs * 1000000ll;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(opening->lock);
            if (opening->done) {
                if (opening->device == 0)
                    fail("no audio device", opening->error);
                return opening->device;
            }
            const bool cancelled = cancelCheck && cancelCheck(cancelContext);
            const bool late = monotonicNanoseconds() >= deadline;
            if (cancelled || late) {
                opening->abandoned = true;
                openingLeftBehind = true;
                if (cancelled)
                    fail("cancelled");
                else
                    fail("the sound device does not answer", "no answer within 3 s");
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void SdlAudioPlayer::audioClose() {
    if (!device)
        return;
    {
        DeviceLock lock(device);
        stopWhereHeard();
    }
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
    if (playing) {
        heard.handOut(deviceFrames);
        music.read(out, frames);
    } else {
        std::memset(out, 0, static_cast<std::size_t>(frames) * VorbisStream::bytesPerFrame);
    }
    deviceFrames += frames;
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

// --- Stream ---

std::uint32_t SdlAudioPlayer::streamCreateFromMemory(const void* data, std::uint32_t length) {
    DeviceLock lock(device);
    return openStream(data, length, "the music does not decode");
}

bool SdlAudioPlayer::streamPlay(std::uint32_t stream, bool restart) {
    if (!valid(stream))
        return false;
    DeviceLock lock(device);
    if (restart)
        standAt(0);
    // While stopped, the decoder already stands at the run's start.
    playing = true;
    return true;
}

bool SdlAudioPlayer::streamPause(std::uint32_t stream) {
    if (!valid(stream))
        return false;
    DeviceLock lock(device);
    pauseWhereHeard();
    return true;
}

std::uint64_t SdlAudioPlayer::streamGetPosition(std::uint32_t stream) {
    if (!valid(stream))
        return 0;
    DeviceLock lock(device);
    return heardFrame() * VorbisStream::bytesPerFrame;
}

bool SdlAudioPlayer::streamSetPosition(std::uint32_t stream, std::uint64_t bytes) {
    if (!valid(stream))
        return false;
    DeviceLock lock(device);
    standAt(bytes / VorbisStream::bytesPerFrame);
    return true;
}

bool SdlAudioPlayer::streamFree(std::uint32_t stream) {
    if (!valid(stream))
        return false;
    DeviceLock lock(device);
    closeStream();
    return true;
}

std::uint64_t SdlAudioPlayer::framesHandedOut() {
    DeviceLock lock(device);
    return music.position();
}
