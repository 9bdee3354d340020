// WaveOutPlayer: the music on Windows through winmm's waveOut, 44100 Hz stereo
// 16-bit, decoded by the shared VorbisStream into a small ring of buffers that
// a feeder thread refills as the device finishes them. The heard position is
// the device's own count of played samples, added to the stream frame its
// current run of buffers started from.
//
// Every start, resume after a move and seek begins a new run: the device is
// reset (its sample count goes back to 0) and the ring refilled from the
// stream's new frame. A pause halts the device with its queue, so the count,
// and with it the position, stands still until play continues it.
#include "imaging/non_copyable.h"
#include "platform/vorbis_stream_player.h"
#include "platform/win32/win32_platform.h"

#include <mmsystem.h>

namespace {

// Four buffers of 93 ms: the feeder has a third of a second to wake up.
constexpr int ringBuffers = 4;
constexpr std::uint32_t bufferFrames = 4096;

class CriticalSection : NonCopyable {
  public:
    CriticalSection() { InitializeCriticalSection(&section); }
    ~CriticalSection() { DeleteCriticalSection(&section); }
    void enter() { EnterCriticalSection(&section); }
    void leave() { LeaveCriticalSection(&section); }

  private:
    CRITICAL_SECTION section;
};

class Locked : NonCopyable {
  public:
    explicit Locked(CriticalSection& section) : section(section) { section.enter(); }
    ~Locked() { section.leave(); }

  private:
    CriticalSection& section;
};

class WaveOutPlayer : public VorbisStreamPlayer {
  public:
    ~WaveOutPlayer() override { audioClose(); }

    bool audioOpen(std::uint32_t rate) override;
    void audioClose() override;
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override;
    bool streamPlay(std::uint32_t stream, bool restart) override;
    bool streamPause(std::uint32_t stream) override;
    std::uint64_t streamGetPosition(std::uint32_t stream) override;
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override;
    bool streamFree(std::uint32_t stream) override;

  private:
    // The following run with `lock` held.
    void startRun();
    void stopRun();
    void queue(int index);
    void refillFinished();
    std::uint64_t deviceFrame();
    std::uint64_t heardFrame() override;
    // The current run is on the device: playing, or halted by a pause.
    bool running() const { return playing || paused; }

    static DWORD WINAPI feederMain(LPVOID player);

    CriticalSection lock;
    HWAVEOUT device = nullptr;
    HANDLE bufferDone = nullptr; // signalled by the device as each buffer finishes
    HANDLE feeder = nullptr;
    volatile LONG quitting = 0;
    WAVEHDR headers[ringBuffers] = {};
    bool queued[ringBuffers] = {};
    int nextToFinish = 0; // buffers finish in the order they were written
    std::int16_t samples[ringBuffers][bufferFrames * VorbisStream::channels] = {};

    // A pause halts the device with the run still queued, so play continues
    // it; never set while playing.
    bool paused = false;
};

// --- Device ---

bool WaveOutPlayer::audioOpen(std::uint32_t rate) {
    if (device)
        return true;
    if (rate != VorbisStream::frameRate)
        return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = VorbisStream::channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = VorbisStream::bytesPerFrame;
    format.nAvgBytesPerSec = rate * VorbisStream::bytesPerFrame;
    bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!bufferDone)
        return false;
    HWAVEOUT opened = nullptr;
    if (waveOutOpen(&opened, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(bufferDone), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        CloseHandle(bufferDone);
        bufferDone = nullptr;
        return false;
    }
    for (int i = 0; i < ringBuffers; ++i) {
        headers[i] = WAVEHDR{};
        headers[i].lpData = reinterpret_cast<LPSTR>(samples[i]);
        headers[i].dwBufferLength = sizeof(samples[i]);
        waveOutPrepareHeader(opened, &headers[i], sizeof(WAVEHDR));
        queued[i] = false;
    }
    nextToFinish = 0;
    quitting = 0;
    {
        Locked guard(lock);
        device = opened;
    }
    feeder = CreateThread(nullptr, 0, &WaveOutPlayer::feederMain, this, 0, nullptr);
    if (!feeder) {
        audioClose();
        return false;
    }
    SetThreadPriority(feeder, THREAD_PRIORITY_HIGHEST);
    // A stream made before the device opened may already be playing.
    Locked guard(lock);
    if (playing)
        startRun();
    return true;
}

void WaveOutPlayer::audioClose() {
    if (!device)
        return;
    {
        Locked guard(lock);
        if (running()) {
            // The stream stands where it was heard, as after a pause.
            const std::uint64_t frame = heardFrame();
            stopRun();
            standAt(frame);
        }
    }
    if (feeder) {
        InterlockedExchange(&quitting, 1);
        SetEvent(bufferDone);
        WaitForSingleObject(feeder, INFINITE);
        CloseHandle(feeder);
        feeder = nullptr;
    }
    Locked guard(lock);
    waveOutReset(device);
    for (auto& header : headers)
        waveOutUnprepareHeader(device, &header, sizeof(WAVEHDR));
    waveOutClose(device);
    device = nullptr;
    CloseHandle(bufferDone);
    bufferDone = nullptr;
}

DWORD WINAPI WaveOutPlayer::feederMain(LPVOID self) {
    auto* player = static_cast<WaveOutPlayer*>(self);
    for (;;) {
        WaitForSingleObject(player->bufferDone, INFINITE);
        if (InterlockedCompareExchange(&player->quitting, 0, 0))
            return 0;
        Locked guard(player->lock);
        player->refillFinished();
    }
}

// --- Runs of buffers ---

void WaveOutPlayer::queue(int index) {
    const std::uint32_t frames = music.read(samples[index], bufferFrames);
    if (frames == 0)
        return;
    heard.handOut(0);
    headers[index].dwBufferLength = frames * VorbisStream::bytesPerFrame;
    if (waveOutWrite(device, &headers[index], sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
        queued[index] = true;
}

void WaveOutPlayer::startRun() {
    if (!device)
        return;
    // Back to an empty, halted device whose sample count is 0; the whole ring
    // goes out together when it restarts.
    waveOutReset(device);
    waveOutPause(device);
    for (bool& q : queued)
        q = false;
    nextToFinish = 0;
    for (int i = 0; i < ringBuffers && !music.ended(); ++i)
        queue(i);
    waveOutRestart(device);
    playing = true;
    paused = false;
}

void WaveOutPlayer::stopRun() {
    // Whether a reset also ends a pause is up to the driver: the next run
    // pauses and restarts the device itself.
    if (device)
        waveOutReset(device);
    for (bool& q : queued)
        q = false;
    nextToFinish = 0;
    playing = false;
    paused = false;
}

void WaveOutPlayer::refillFinished() {
    if (!running() || !device)
        return;
    while (queued[nextToFinish] && (headers[nextToFinish].dwFlags & WHDR_DONE)) {
        queued[nextToFinish] = false;
        if (!music.ended())
            queue(nextToFinish);
        nextToFinish = (nextToFinish + 1) % ringBuffers;
    }
}

std::uint64_t WaveOutPlayer::deviceFrame() {
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (!device || waveOutGetPosition(device, &time, sizeof(time)) != MMSYSERR_NOERROR)
        return 0;
    switch (time.wType) {
    case TIME_SAMPLES:
        return time.u.sample;
    case TIME_BYTES:
        return time.u.cb / VorbisStream::bytesPerFrame;
    case TIME_MS:
        return static_cast<std::uint64_t>(time.u.ms) * VorbisStream::frameRate / 1000u;
    default:
        return 0;
    }
}

std::uint64_t WaveOutPlayer::heardFrame() {
    if (!running())
        return heard.start();
    return heard.at(deviceFrame(), music.position());
}

// --- Stream ---

std::uint32_t WaveOutPlayer::streamCreateFromMemory(const void* data, std::uint32_t length) {
    Locked guard(lock);
    return openStream(data, length, nullptr);
}

bool WaveOutPlayer::streamPlay(std::uint32_t stream, bool restart) {
    Locked guard(lock);
    if (!valid(stream))
        return false;
    if (restart) {
        standAt(0);
        startRun();
    } else if (paused) {
        waveOutRestart(device);
        playing = true;
        paused = false;
    } else if (!playing) {
        // The stream already stands at the run's start.
        startRun();
    }
    if (!device) {
        // Starts when the device opens.
        playing = true;
        paused = false;
    }
    return true;
}

bool WaveOutPlayer::streamPause(std::uint32_t stream) {
    Locked guard(lock);
    if (!valid(stream))
        return false;
    if (playing && device) {
        waveOutPause(device);
        playing = false;
        paused = true;
    } else if (playing) {
        playing = false;
    }
    return true;
}

std::uint64_t WaveOutPlayer::streamGetPosition(std::uint32_t stream) {
    Locked guard(lock);
    if (!valid(stream))
        return 0;
    return heardFrame() * VorbisStream::bytesPerFrame;
}

bool WaveOutPlayer::streamSetPosition(std::uint32_t stream, std::uint64_t bytes) {
    Locked guard(lock);
    if (!valid(stream))
        return false;
    const bool wasPlaying = playing;
    stopRun();
    // Past the end the stream stands at its end and plays nothing.
    standAt(bytes / VorbisStream::bytesPerFrame);
    if (wasPlaying)
        startRun();
    return true;
}

bool WaveOutPlayer::streamFree(std::uint32_t stream) {
    Locked guard(lock);
    if (!valid(stream))
        return false;
    stopRun();
    closeStream();
    return true;
}

} // namespace

AudioPlayer& waveOutPlayer() {
    static WaveOutPlayer player;
    return player;
}
