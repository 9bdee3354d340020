// AlsaAudioPlayer: alsa-lib's blocking writes of 16-bit stereo at 44100 Hz on
// a thread of the player's own. After each write the device says how many
// frames it holds that are not yet heard (snd_pcm_delay: for a card, its
// buffer and what the driver knows beyond it; for a plugin, what its server
// says); the frame being heard then is what was written less that, carried
// forward on the monotonic clock (DeviceStreamPlayer's snapshot).
#include "platform/posix/audio/alsa_audio_player.h"

#include "platform/posix/audio/quiet_stderr.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// ALSA reports every card it cannot find on standard error, from whichever
// thread touches it; the failure reason says what matters.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

} // namespace

struct AlsaAudioPlayer::Shared {
    std::mutex lock;
    int state = 0; // 0 opening, 1 open, -1 failed
    bool abandoned = false;
    std::atomic<bool> stop{false};
    char error[160] = {};
};

AlsaAudioPlayer::~AlsaAudioPlayer() {
    audioClose();
}

// --- Device ---

bool AlsaAudioPlayer::openDevice() {
    snd_lib_error_set_handler(&ignoreAlsaMessage);
    QuietStandardError quiet;
    shared = std::make_shared<Shared>();
    try {
        worker = std::thread(&AlsaAudioPlayer::run, this, shared);
    } catch (const std::system_error&) {
        fail("no audio device", "no thread to play on");
        return false;
    }
    // A plugin's server may never answer: the wait is bounded, and Escape or
    // a signal ends it at once.
    const Wait waited = waitForDevice(openDeadline(), [this](bool giveUp) {
        std::lock_guard<std::mutex> guard(shared->lock);
        if (giveUp && shared->state == 0)
            shared->abandoned = true;
        return shared->state;
    });
    if (waited == Wait::ready)
        return true;
    if (waited == Wait::failed) {
        fail("no audio device", shared->error);
        absent = true;
        worker.join();
    } else {
        failWait(waited, "the sound device does not answer");
        openingLeftBehind = true;
        worker.detach();
    }
    return false;
}

void AlsaAudioPlayer::closeDevice() {
    shared->stop.store(true);
    worker.join();
}

// --- Player's thread ---

void AlsaAudioPlayer::run(std::shared_ptr<Shared> state) {
    const char* name = std::getenv("SHADESTRIP_ALSA_DEVICE");
    if (!name || !name[0])
        name = "default";
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, 0);
    if (error >= 0)
        error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                   VorbisStream::channels, VorbisStream::frameRate, 1,
                                   periodFrames * periods * 1000000u / VorbisStream::frameRate);
    {
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->abandoned || error < 0) {
            std::snprintf(state->error, sizeof state->error, "%s", snd_strerror(error));
            state->state = -1;
            if (pcm)
                snd_pcm_close(pcm);
            return;
        }
        state->state = 1;
    }
    std::vector<std::int16_t> buffer(periodFrames * VorbisStream::channels);
    while (!state->stop.load()) {
        {
            std::lock_guard<std::mutex> guard(lock);
            handOver(buffer.data(), periodFrames);
        }
        std::uint32_t done = 0;
        while (done < periodFrames && !state->stop.load()) {
            const snd_pcm_sframes_t wrote = snd_pcm_writei(
                pcm, buffer.data() + done * VorbisStream::channels, periodFrames - done);
            if (wrote >= 0) {
                done += static_cast<std::uint32_t>(wrote);
            } else if (snd_pcm_recover(pcm, static_cast<int>(wrote), 1) < 0) {
                // A device that is gone: the position stands, and the thread
                // waits to be stopped rather than spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm, &delay) == 0)
            takeSnapshot(delay, snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING);
    }
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
}

void AlsaAudioPlayer::takeSnapshot(std::int64_t delayFrames, bool running) {
    const std::int64_t now = clockNanoseconds();
    std::lock_guard<std::mutex> guard(lock);
    const auto delay = static_cast<std::uint64_t>(delayFrames > 0 ? delayFrames : 0);
    snapshot = Snapshot{true, deviceFrames > delay ? deviceFrames - delay : 0, now, running};
}
