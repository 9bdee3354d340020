// Stop flags set from signal handlers; blocking calls return early (no restart).
#include "stop_signals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void onStop(int signalNumber) {
    stopSignal = signalNumber;
}

#ifdef _WIN32
const int stopping[] = {SIGINT, SIGTERM};
void (*previous[2])(int) = {};
#else
const int stopping[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};
const int ignoredSignals[] = {SIGPIPE, SIGXFSZ};
struct sigaction previous[sizeof stopping / sizeof stopping[0]];
struct sigaction previousIgnored[sizeof ignoredSignals / sizeof ignoredSignals[0]];
#endif
constexpr int stopCount = sizeof stopping / sizeof stopping[0];

} // namespace

#ifdef _WIN32
StopSignals::StopSignals() {
    for (int i = 0; i < stopCount; ++i)
        previous[i] = std::signal(stopping[i], onStop);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < stopCount; ++i)
        std::signal(stopping[i], previous[i]);
}
#else
StopSignals::StopSignals() {
    struct sigaction action = {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked open or wait returns at once
    for (int i = 0; i < stopCount; ++i) {
        sigaction(stopping[i], nullptr, &previous[i]);
        // nohup ignores the hang-up on purpose. (A shell also ignores Ctrl+C
        // and quit in background jobs, but a signal sent by name is meant.)
        if (stopping[i] != SIGHUP || previous[i].sa_handler != SIG_IGN)
            sigaction(stopping[i], &action, nullptr);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int i = 0; i < static_cast<int>(sizeof ignoredSignals / sizeof ignoredSignals[0]); ++i)
        sigaction(ignoredSignals[i], &ignore, &previousIgnored[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < stopCount; ++i)
        sigaction(stopping[i], &previous[i], nullptr);
    for (int i = 0; i < static_cast<int>(sizeof ignoredSignals / sizeof ignoredSignals[0]); ++i)
        sigaction(ignoredSignals[i], &previousIgnored[i], nullptr);
}
#endif

int StopSignals::received() {
    return stopSignal;
}
