// PosixAudioPlayer: the player the POSIX program uses. It picks the best
// device it can reach when the device is opened and hands every call to it:
// the PulseAudio player (the server's own timing: PulseAudio, and PipeWire
// through its PulseAudio service) when a server is there, SDL2 otherwise.
// Its audioClose takes a bounded time whatever the device does.
#pragma once

#include "app/platform.h"

#include <cstdint>

class PulseAudioPlayer;

class PosixAudioPlayer : public AudioPlayer {
  public:
    // How long audioClose waits for the device before leaving it behind.
    static constexpr std::uint32_t closeTimeoutMs = 1500;

    // The candidates, in the order they are tried; `pulse` may be null (not
    // built in). The program's are never destroyed: a close left behind may
    // still be running at exit.
    PosixAudioPlayer(PulseAudioPlayer* pulse, AudioPlayer* fallback)
        : pulse(pulse), sdl(fallback) {}

    // Which candidates may be tried, from the environment: SHADESTRIP_AUDIO=pulse
    // or =sdl picks one; otherwise an SDL_AUDIODRIVER other than pulseaudio
    // (a choice made for SDL) means SDL alone, and anything else means both.
    enum class Choice { both, pulseOnly, sdlOnly };
    static Choice choiceFromEnvironment();

    bool audioOpen(std::uint32_t rate) override;
    // Closes the device on a helper thread and waits at most closeTimeoutMs;
    // a device that does not close by then is abandoned, and every later call
    // does nothing.
    void audioClose() override;
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override;
    bool streamPlay(std::uint32_t stream, bool restart) override;
    bool streamPause(std::uint32_t stream) override;
    std::uint64_t streamGetPosition(std::uint32_t stream) override;
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override;
    double streamBytesToSeconds(std::uint32_t stream, std::uint64_t bytes) override;
    std::uint64_t streamSecondsToBytes(std::uint32_t stream, float seconds) override;
    bool streamFree(std::uint32_t stream) override;
    const char* failureReason() const override;
    void setCancelCheck(CancelCheck check, void* context) override;

    // The candidate in use (null before a successful open).
    AudioPlayer* active() const { return current; }
    bool abandoned() const { return leftBehind; }

  private:
    AudioPlayer* usable() const { return leftBehind ? nullptr : current; }

    PulseAudioPlayer* pulse;
    AudioPlayer* sdl;
    AudioPlayer* current = nullptr;
    const char* reason = nullptr;
    bool leftBehind = false;
};
