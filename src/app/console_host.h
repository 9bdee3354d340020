// ConsoleHost: the console window and its back buffer (the inherited CellImage),
// over whichever console backend the platform gives. Not the terminal code
// itself: that lives under src/platform.
#pragma once

#include "imaging/cell_image.h"
#include "platform.h"

#include <atomic>

// Set to 1 (and never cleared) when the console is being closed: a break, a
// window close, a log-off or shut-down, a hang-up. Written from other threads
// and from signal handlers; read by the main loop once per frame.
extern std::atomic<unsigned char> consoleClosing;

class ConsoleHost : public CellImage {
  public:
    explicit ConsoleHost(ConsoleBackend* backend = nullptr) : backend(backend) {}
    ~ConsoleHost() override { close(); }

    // Opens a width x height console with `title` and an all-zero back buffer.
    bool open(const char* title, int width, int height);
    // Frees any back buffer, then allocates width x height zero cells.
    bool allocateCells(int width, int height);
    // Shows the whole back buffer at once.
    bool present();
    // One pending input record; false at once when the queue is empty.
    bool readInput(InputRecord& record);
    void setMouseInput(bool on);
    void setTitle(const char* title);
    // Writes `text` from (x, y) rightwards, cut at the right edge, never wrapped.
    // A start outside the buffer writes nothing and gives false. Bytes are
    // stored sign-extended; whoever shows a cell uses its low byte.
    bool drawText(const char* text, std::uint16_t attribute, int x, int y);
    void close();

    ConsoleBackend* backend;

  private:
    bool opened = false;
};
