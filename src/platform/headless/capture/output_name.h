// Output names of the capture tool. `--out` is a name pattern, never handed to
// printf: "%d" (or "%Nd", "%0Nd", N up to 9) stands for the frame's number in
// the sequence, "%%" for a literal "%", and no other "%" is accepted.
#pragma once

#include <cstdint>
#include <string>

class OutputName {
  public:
    // Reads a pattern. False, with a one-line reason in `error`, for a "%"
    // that starts anything but the two forms above, or a second number.
    bool parse(const std::string& pattern, std::string& error);

    // True when the pattern holds "%d": it can name the frames of a sequence.
    bool numbered() const { return hasNumber; }
    // True when the pattern holds any "%" at all.
    bool patterned() const { return hasPercent; }

    // The name of frame `number`. A sequence named by a plain name (no "%" at
    // all) gets "-NNNN" before its extension; a patterned name that does not
    // number frames names only one file.
    std::string name(std::int64_t number, bool sequence) const;

  private:
    std::string before, after; // literal text around the number, "%%" already undone
    bool hasNumber = false;
    bool hasPercent = false;
    bool zeroPad = false;
    int width = 0;
};

// `text` with control bytes (below 0x20, 0x7F, and UTF-8 encoded C1 controls)
// written as \xNN, safe to print on a terminal.
std::string printable(const std::string& text);
