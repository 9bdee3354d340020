// WaveOutPlayer: the music on Windows through winmm's waveOut, 44100 Hz stereo
// 16-bit: a device beneath the shared stream player. The stream's frames go
// into a small ring of buffers that a feeder thread refills as the device
// finishes them. The heard frame is the device's own count of played samples.
//
// waveOut queues ahead of what is heard, so every change of run (a start, a
// pause, a seek) resets the device, whose sample count goes back to 0, and a
// playing stream's new run goes out as a fresh ring from there. A paused
// device holds nothing: on resume the stream plays on from the frame heard.
#include "platform/device_stream_player.h"
#include "platform/win32/win32_platform.h"

#include <mmsystem.h>

namespace {

// Four buffers of 93 ms: the feeder has a third of a second to wake up.
constexpr int ringBuffers = 4;
constexpr std::uint32_t bufferFrames = 4096;

class WaveOutPlayer : public DeviceStreamPlayer {
  public:
    ~WaveOutPlayer() override { audioClose(); }
    bool deviceOpen() const override { return device != nullptr; }

  private:
    bool openDevice() override;
    void closeDevice() override;
    // With the lock held.
    std::uint64_t heardFrame() override;
    void runChanged() override;
    void queue(int index);
    void refillFinished();
    std::uint64_t deviceFrame();

    static DWORD WINAPI feederMain(LPVOID player);

    HWAVEOUT device = nullptr;
    HANDLE bufferDone = nullptr; // signalled by the device as each buffer finishes
    HANDLE feeder = nullptr;
    volatile LONG quitting = 0;
    WAVEHDR headers[ringBuffers] = {};
    bool queued[ringBuffers] = {};
    int nextToFinish = 0; // buffers finish in the order they were written
    std::int16_t samples[ringBuffers][bufferFrames * VorbisStream::channels] = {};
};

// --- Device ---

bool WaveOutPlayer::openDevice() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = VorbisStream::channels;
    format.nSamplesPerSec = VorbisStream::frameRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = VorbisStream::bytesPerFrame;
    format.nAvgBytesPerSec = VorbisStream::frameRate * VorbisStream::bytesPerFrame;
    bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT opened = nullptr;
    if (!bufferDone ||
        waveOutOpen(&opened, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(bufferDone), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (bufferDone)
            CloseHandle(bufferDone);
        bufferDone = nullptr;
        fail("no audio device", "waveOut opened no output");
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
        std::lock_guard<std::mutex> guard(lock);
        device = opened;
    }
    feeder = CreateThread(nullptr, 0, &WaveOutPlayer::feederMain, this, 0, nullptr);
    if (!feeder) {
        closeDevice();
        fail("no audio device", "no thread to feed it");
        return false;
    }
    SetThreadPriority(feeder, THREAD_PRIORITY_HIGHEST);
    return true;
}

void WaveOutPlayer::closeDevice() {
    if (feeder) {
        InterlockedExchange(&quitting, 1);
        SetEvent(bufferDone);
        WaitForSingleObject(feeder, INFINITE);
        CloseHandle(feeder);
        feeder = nullptr;
    }
    std::lock_guard<std::mutex> guard(lock);
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
        std::lock_guard<std::mutex> guard(player->lock);
        player->refillFinished();
    }
}

// --- Runs of buffers ---

void WaveOutPlayer::queue(int index) {
    handOver(samples[index], bufferFrames);
    if (waveOutWrite(device, &headers[index], sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
        queued[index] = true;
}

void WaveOutPlayer::runChanged() {
    if (!device)
        return;
    // Back to an empty, halted device whose sample count is 0; a playing
    // stream's whole ring goes out together when it restarts. (Whether a reset
    // also ends a pause is up to the driver: the pause says it.)
    waveOutReset(device);
    waveOutPause(device);
    for (bool& q : queued)
        q = false;
    nextToFinish = 0;
    deviceFrames = 0;
    if (!playing)
        return;
    for (int i = 0; i < ringBuffers; ++i)
        queue(i);
    waveOutRestart(device);
}

void WaveOutPlayer::refillFinished() {
    if (!playing || !device)
        return;
    while (queued[nextToFinish] && (headers[nextToFinish].dwFlags & WHDR_DONE)) {
        queued[nextToFinish] = false;
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
    if (!playing || !device || !heard.handedOut())
        return heard.start();
    return climbTo(deviceFrame());
}

} // namespace

AudioPlayer& waveOutPlayer() {
    static WaveOutPlayer player;
    return player;
}
