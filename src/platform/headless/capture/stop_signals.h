// Signals that stop a capture. A signal that would end the process (hang-up,
// quit, interrupt, termination, alarm, the user signals) only sets a flag: the
// capture stops between frames, removes its unfinished file and exits with
// 128 + the signal's number, leaving nothing hidden behind. A closed pipe and
// a file size limit are ignored, so the write itself fails and is reported
// like a full disk. A hang-up ignored when the tool starts (nohup) stays ignored.
#pragma once

// Installs the handlers; the earlier ones come back when the guard goes.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked the capture to stop, or 0.
    static int received();
    // The exit status for it, 128 + its number.
    static int exitStatus() { return 128 + received(); }
};
