// PosixAudioPlayer: the player the POSIX program uses. It picks the best
// device it can reach when the device is opened and hands every call to it:
// the PipeWire player (the graph's own timing) where a PipeWire daemon
// answers, the PulseAudio player (the server's own timing) where a PulseAudio
// server does, the ALSA player (the device's own delay) where ALSA's default
// device opens, SDL2 otherwise. Its audioClose takes a bounded time whatever
// the device does.
#pragma once

#include "app/platform.h"

#include <cstdint>

class AlsaAudioPlayer;
class PipeWireAudioPlayer;
class PulseAudioPlayer;

class PosixAudioPlayer : public AudioPlayer {
  public:
    // How long audioClose waits for the device before leaving it behind.
    static constexpr std::uint32_t closeTimeoutMs = 1500;

    // The candidates; all but `fallback` may be null (not built in). The
    // program's are never destroyed: a close left behind may still be running at exit.
    PosixAudioPlayer(PulseAudioPlayer* pulse, AudioPlayer* fallback,
                     PipeWireAudioPlayer* pipewire = nullptr, AlsaAudioPlayer* alsa = nullptr)
        : pipewire(pipewire), pulse(pulse), alsa(alsa), sdl(fallback) {}

    // Which candidates may be tried, from the environment: SHADESTRIP_AUDIO=
    // pipewire, =pulse, =alsa or =sdl picks one; otherwise an SDL_AUDIODRIVER
    // other than pulseaudio (a choice made for SDL) means SDL alone, and
    // anything else means all. The servers are tried in turn, PipeWire first
    // unless PULSE_SERVER names a PulseAudio server, then ALSA, then SDL; one
    // that is absent gives way at once to the next, one that does not answer
    // ends the search.
    enum class Choice { all, pipewireOnly, pulseOnly, alsaOnly, sdlOnly };
    static Choice choiceFromEnvironment();

    bool audioOpen(std::uint32_t rate) override;
    // Closes the device on a helper thread and waits at most closeTimeoutMs;
    // a device that does not close by then is abandoned, and every later call
    // does nothing.
    void audioClose() override;

    // The stream calls go to the candidate in use; without one (or after a
    // close left behind) they fail.
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override {
        return forward(&AudioPlayer::streamCreateFromMemory, std::uint32_t{0}, data, length);
    }
    bool streamPlay(std::uint32_t stream, bool restart) override {
        return forward(&AudioPlayer::streamPlay, false, stream, restart);
    }
    bool streamPause(std::uint32_t stream) override {
        return forward(&AudioPlayer::streamPause, false, stream);
    }
    std::uint64_t streamGetPosition(std::uint32_t stream) override {
        return forward(&AudioPlayer::streamGetPosition, std::uint64_t{0}, stream);
    }
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override {
        return forward(&AudioPlayer::streamSetPosition, false, stream, bytes);
    }
    bool streamFree(std::uint32_t stream) override {
        return forward(&AudioPlayer::streamFree, false, stream);
    }
    // Every candidate plays the same stream format.
    double streamBytesToSeconds(std::uint32_t stream, std::uint64_t bytes) override;
    std::uint64_t streamSecondsToBytes(std::uint32_t stream, float seconds) override;

    const char* failureReason() const override;
    void setCancelCheck(CancelCheck check, void* context) override;

    // The candidate in use (null before a successful open).
    AudioPlayer* active() const { return current; }
    bool abandoned() const { return leftBehind; }

  private:
    AudioPlayer* usable() const { return leftBehind ? nullptr : current; }

    template <class Result, class... Parameters, class... Arguments>
    Result forward(Result (AudioPlayer::*call)(Parameters...), Result none,
                   Arguments... arguments) {
        AudioPlayer* player = usable();
        return player ? (player->*call)(arguments...) : none;
    }

    // Tries one sound server's player: true when it opened, and `next` says
    // whether another may be tried after a failure (only when it found no server).
    template <class Server> bool tryServer(Server* server, std::uint32_t rate, bool& next);

    PipeWireAudioPlayer* pipewire;
    PulseAudioPlayer* pulse;
    AlsaAudioPlayer* alsa;
    AudioPlayer* sdl;
    AudioPlayer* current = nullptr;
    const char* reason = nullptr;
    bool leftBehind = false;
};
