// Progress of a long export on standard error: one line rewritten in place on
// a terminal, a plain line every tenth of the work otherwise.
#pragma once

#include <chrono>
#include <cstdint>

class Progress {
  public:
    explicit Progress(std::int64_t total);
    // `done` of the total finished.
    void update(std::int64_t done);
    // Ends the in-place line, if any.
    void end();
    // Seconds since the start.
    double elapsed() const;

  private:
    std::int64_t total;
    bool inPlace;
    int lastTenth = -1;
    std::chrono::steady_clock::time_point started, lastShown;
    bool shown = false;
};
