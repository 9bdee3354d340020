// Progress lines: percentage, frames per second and time left.
#include "progress.h"

#include <cstdio>
#include <unistd.h>

Progress::Progress(std::int64_t total)
    : total(total > 0 ? total : 1), inPlace(isatty(fileno(stderr)) != 0),
      started(std::chrono::steady_clock::now()), lastShown(started) {}

double Progress::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void Progress::update(std::int64_t done) {
    const auto now = std::chrono::steady_clock::now();
    const int tenth = static_cast<int>(done * 10 / total);
    if (inPlace) {
        if (done < total && now - lastShown < std::chrono::milliseconds(200))
            return;
    } else if (tenth == lastTenth) {
        return;
    }
    lastShown = now;
    lastTenth = tenth;
    const double seconds = elapsed();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
    const int percent = static_cast<int>(done * 100 / total);
    std::fprintf(stderr, "%s%3d %% %lld/%lld frames, %.0f frames/s, %d:%02d left%s",
                 inPlace ? "\r" : "", percent, static_cast<long long>(done),
                 static_cast<long long>(total), rate, static_cast<int>(left) / 60,
                 static_cast<int>(left) % 60, inPlace ? "\x1b[K" : "\n");
    std::fflush(stderr);
    shown = true;
}

void Progress::end() {
    if (inPlace && shown)
        std::fputc('\n', stderr);
    shown = false;
}
