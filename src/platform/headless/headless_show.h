// HeadlessShow: the real show (the same Demo, assets, strip and controls) on
// the headless platform, advanced frame by frame at a fixed frame rate. The
// capture tool, the golden-frame tests and the benchmarks run the show with it.
#pragma once

#include "app/demo.h"
#include "headless_platform.h"

#include <cstdint>

class HeadlessShow {
  public:
    // Frames per second of the simulated run; music time of frame n is n / fps.
    explicit HeadlessShow(int fps = 100);

    // Start-up as the program does it, with the shared random generator put
    // back to its first state, as in a fresh process. False on a failed start.
    bool start();
    // Runs frames until frame `index` has been presented (frames already run
    // are not run again). False if the show ended before (Escape or its end).
    bool runTo(std::int64_t index);
    // One more frame at music time (frame + 1) / fps.
    bool step();

    // Music time of frame n, computed from the index, never by summing dt.
    double timeOf(std::int64_t index) const { return static_cast<double>(index) / fps; }
    // The first frame whose time is at least `seconds`.
    std::int64_t frameAt(double seconds) const;

    const Cell* cells() const { return demo.console.cells; }
    std::int64_t frame() const { return nextFrame - 1; }

    int fps;
    HeadlessConsole console;
    HeadlessTimer timer;
    HeadlessPlayer player;
    Demo demo;

  private:
    std::int64_t nextFrame = 0;
};
