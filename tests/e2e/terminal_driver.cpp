// A stand-in program for end-to-end runs of the terminal console alone: opens
// the console as the show does, presents a test pattern, logs the input records
// it gets, and ends on Escape or when the console closes. Not the show.
//
// Usage: terminal_driver [log file]. Keys: Escape ends (0), Space turns the
// mouse on, T changes the title, A aborts, X calls exit(3) without closing.
#include "app/console_host.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/terminal/terminal_console.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::uint32_t longestRunMs = 60000;

// Every glyph in a 16 x 16 table, every colour pair in shades, a moving bar.
void drawPattern(ConsoleHost& console, int frame) {
    for (int i = 0; i < console.width * console.height; ++i)
        console.cells[i] = Cell{0, 0x07};
    for (int byte = 0; byte < 256; ++byte)
        console.at(2 * (byte % 16), byte / 16) = Cell{static_cast<std::uint16_t>(byte), 0x07};
    for (int background = 0; background < 16; ++background) {
        for (int foreground = 0; foreground < 16; ++foreground) {
            const auto attributes = static_cast<std::uint16_t>(background << 4 | foreground);
            console.at(40 + 2 * foreground, 17 + background) = Cell{0xB1, attributes};
            console.at(41 + 2 * foreground, 17 + background) = Cell{0xDB, attributes};
        }
    }
    char text[64];
    std::snprintf(text, sizeof(text), "\xc5 terminal driver, frame %d", frame);
    console.drawText(text, 0x1E, 0, 34);
    for (int row = 36; row < console.height; ++row)
        console.at(frame % console.width, row) = Cell{0xDB, 0x0C};
}

} // namespace

int main(int argc, char** argv) {
    ConsoleHost console(&terminalConsole());
    if (!console.open("Terminal driver", 80, 50)) {
        reportErrorOnTerminal("Demo error.", "Cannot initialize console.", nullptr);
        return 1;
    }
    std::FILE* log = argc > 1 ? std::fopen(argv[1], "w") : nullptr;
    FrameTimer& timer = monotonicTimer();
    const std::uint32_t start = timer.now();
    for (int frame = 0;; ++frame) {
        InputRecord record;
        while (console.readInput(record)) {
            if (log != nullptr) {
                if (record.eventType == InputRecord::keyEvent)
                    std::fprintf(log, "key %d %s\n", record.virtualKeyCode,
                                 record.keyDown ? "down" : "up");
                else
                    std::fprintf(log, "mouse %d %d %u %u\n", record.mouseX, record.mouseY,
                                 record.buttonState, record.eventFlags);
                std::fflush(log);
            }
            if (record.eventType != InputRecord::keyEvent || !record.keyDown)
                continue;
            switch (record.virtualKeyCode) {
            case virtualKey::escape:
                return 0;
            case virtualKey::space:
                console.setMouseInput(true);
                break;
            case 'T':
                console.setTitle("Tempus 1.0 est, et FPS 100.0.");
                break;
            case 'A':
                std::abort();
            case 'X':
                std::exit(3);
            default:
                break;
            }
        }
        drawPattern(console, frame);
        console.present();
        if (consoleClosing.load() != 0)
            return 0;
        if (timer.now() - start > longestRunMs)
            return 2;
        timer.sleep(10);
    }
}
