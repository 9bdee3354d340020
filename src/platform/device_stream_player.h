// DeviceStreamPlayer: the music player the clock calls, written once for every
// platform. It keeps the one Ogg Vorbis stream (VorbisStreamPlayer) and answers
// every stream call (create, play, pause, position, free) and the open's and
// close's common steps under the device's lock. A device beneath it supplies
// only what differs between sound systems: open, close, the frame being heard,
// the lock its thread holds while it takes frames, and (for a device that
// queues ahead of what is heard) a new run of frames when the run changes.
//
// Two kinds of device fit beneath it. One plays on from its open to its close
// and takes every frame through handOver as it goes, silence while nothing
// plays (PulseAudio, PipeWire, ALSA, SDL). The other is given a run of frames
// at a time and dropped at each change of run (waveOut's ring of buffers, Web
// Audio's scheduled sources): runChanged drops what it queued and, while the
// stream plays, queues the new run from the device frame it restarts at.
//
// Adding a sound system is a class derived from this one (openDevice,
// closeDevice, deviceOpen, heardFrame where the snapshot below does not fit,
// runChanged where the device queues ahead) and its place in the platform's
// choice of player.
#pragma once

#include "platform/vorbis_stream_player.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

class DeviceStreamPlayer : public VorbisStreamPlayer {
  public:
    // How long audioOpen waits for a device or sound server to answer.
    static constexpr std::uint32_t openTimeoutMs = 3000;
    // Between two timing snapshots the position runs on the monotonic clock
    // for at most this long; past it (a device that stopped) it stands.
    static constexpr std::uint32_t extrapolationLimitMs = 200;

    // Opens the device at `rate` (only 44100 Hz, the one rate streams decode
    // to), which then runs, silent while nothing plays, until audioClose.
    // True at once while it is open; false, with a reason, when it does not open.
    bool audioOpen(std::uint32_t rate) final;
    // A playing stream stops and stands at the position being heard; then the
    // device closes.
    void audioClose() final;

    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) final;
    // Plays from the first frame (restart) or from where the stream stands.
    bool streamPlay(std::uint32_t stream, bool restart) final;
    // What was handed to the device but not yet heard plays again on resume.
    bool streamPause(std::uint32_t stream) final;
    std::uint64_t streamGetPosition(std::uint32_t stream) final;
    // Past the end the stream stands at its end and plays silence.
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) final;
    bool streamFree(std::uint32_t stream) final;
    void setCancelCheck(CancelCheck check, void* context) final {
        cancelCheck = check;
        cancelContext = context;
    }

    // Frames of the stream handed to the device so far (for tests: the
    // position never passes it).
    std::uint64_t framesHandedOut();
    virtual bool deviceOpen() const = 0;
    // The last failed open found no server or device at all (rather than one
    // that did not answer): another kind of player may be tried.
    bool serverAbsent() const { return absent; }

  protected:
    DeviceStreamPlayer() = default;
    ~DeviceStreamPlayer() override = default;

    // --- The device beneath ---

    // Opens the device: the rate is checked, the last failure cleared and the
    // counts below reset. False, with a reason (and `absent` set where there
    // is no such device here), on failure, having closed what it opened.
    virtual bool openDevice() = 0;
    // Closes the device; the stream already stands where it was heard.
    virtual void closeDevice() = 0;
    // The lock the device's thread holds while it takes frames: by default
    // `lock`. Taken around every stream call.
    virtual void lockDevice() { lock.lock(); }
    virtual void unlockDevice() { lock.unlock(); }
    // The stream frame being heard, with the device's lock held: by default
    // the last snapshot carried forward.
    std::uint64_t heardFrame() override;
    // The run changed, with the device's lock held: the stream started,
    // paused, moved or was freed, or the device has just opened. A device that
    // plays on regardless needs nothing here; one that queues ahead of what is
    // heard drops its queue and, while the stream plays, queues the new run.
    virtual void runChanged() {}

    // The clock the snapshots and the open's waits count on, in nanoseconds:
    // steady_clock, on Linux the monotonic clock that PipeWire's and ALSA's
    // timestamps are on.
    static std::int64_t clockNanoseconds() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // --- For the device's thread, with its lock held ---

    // Hands `frames` frames to the device at `out`: the stream's while it
    // plays, silence otherwise. Every frame the device gets goes through here.
    void handOver(std::int16_t* out, std::uint32_t frames);
    // A new run also restarts the heard frames' climb.
    void moveTo(std::uint64_t frame) override;
    // The stream frame heard while the device plays its frame `device`: never
    // past what was handed to it, and never back within a run (a timing
    // update may correct the device's time slightly downwards).
    std::uint64_t climbTo(std::uint64_t device);

    // The device's last account of its time, for heardFrame.
    struct Snapshot {
        bool taken = false;
        std::uint64_t frame = 0; // device frame heard at `time`
        std::int64_t time = 0;   // monotonic clock, ns
        bool running = false;    // the device was playing then: its frame moves on
        // The device frame heard at `now`: carried forward on the clock while
        // running, for at most extrapolationLimitMs.
        std::uint64_t frameAt(std::int64_t now) const;
    };

    // --- The open's waits, on the main thread ---

    enum class Wait { pending, ready, failed, timedOut, cancelled };
    // Calls `poll(giveUp)` every 5 ms until it answers ready (> 0) or failed
    // (< 0). When the cancel check asks to stop or `deadline` (monotonic ns)
    // passes, it is called once more with giveUp set, to settle under its own
    // lock: 0 then means it let go of the open (timedOut or cancelled).
    template <class Poll> Wait waitForDevice(std::int64_t deadline, Poll poll);
    // The reason for a wait that timed out (`noAnswer`, "no answer within 3 s")
    // or was cancelled.
    void failWait(Wait waited, const char* noAnswer);
    std::int64_t openDeadline() const;

    // Guards the stream, the run, `playing`, deviceFrames and snapshot
    // against the device's thread, for the devices that lock with it.
    std::mutex lock;
    std::uint64_t deviceFrames = 0; // frames handed to the device, silence included
    Snapshot snapshot;

    // Main thread only.
    CancelCheck cancelCheck = nullptr;
    void* cancelContext = nullptr;
    bool absent = false;
    // An open that never came back still holds the device: later opens fail.
    bool openingLeftBehind = false;

  private:
    // Runs `action` under the device's lock when `stream` is the stream:
    // false, doing nothing, for any other handle.
    template <class Action> bool onStream(std::uint32_t stream, Action action);

    // Holds the device's lock for a scope.
    class Guard {
      public:
        explicit Guard(DeviceStreamPlayer& player) : player(player) { player.lockDevice(); }
        ~Guard() { player.unlockDevice(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        DeviceStreamPlayer& player;
    };

    std::uint64_t lastReported = 0; // heard frames never go back within a run
};

template <class Poll>
DeviceStreamPlayer::Wait DeviceStreamPlayer::waitForDevice(std::int64_t deadline, Poll poll) {
    for (;;) {
        int state = poll(false);
        if (state == 0) {
            Wait giveUp = Wait::pending;
            if (cancelCheck && cancelCheck(cancelContext))
                giveUp = Wait::cancelled;
            else if (clockNanoseconds() >= deadline)
                giveUp = Wait::timedOut;
            if (giveUp != Wait::pending) {
                state = poll(true);
                if (state == 0)
                    return giveUp;
            }
        }
        if (state > 0)
            return Wait::ready;
        if (state < 0)
            return Wait::failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
