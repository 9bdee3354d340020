// Placeholder audio player until the SDL player lands: no device.
#include "platform/posix/posix_platform.h"

namespace {

class NoAudio : public AudioPlayer {
  public:
    bool audioOpen(std::uint32_t) override { return false; }
    void audioClose() override {}
    std::uint32_t streamCreateFromMemory(const void*, std::uint32_t) override { return 0; }
    bool streamPlay(std::uint32_t, bool) override { return false; }
    bool streamPause(std::uint32_t) override { return false; }
    std::uint64_t streamGetPosition(std::uint32_t) override { return 0; }
    bool streamSetPosition(std::uint32_t, std::uint64_t) override { return false; }
    double streamBytesToSeconds(std::uint32_t, std::uint64_t) override { return 0; }
    std::uint64_t streamSecondsToBytes(std::uint32_t, float) override { return 0; }
    bool streamFree(std::uint32_t) override { return false; }
};

} // namespace

AudioPlayer& sdlAudioPlayer() {
    static NoAudio player;
    return player;
}
