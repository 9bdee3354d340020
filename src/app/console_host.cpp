// ConsoleHost over a ConsoleBackend.
#include "console_host.h"

std::atomic<unsigned char> consoleClosing{0};

bool ConsoleHost::open(const char* title, int w, int h) {
    if (!allocateCells(w, h))
        return false;
    if (!backend)
        return false;
    opened = true;
    return backend->open(title, w, h);
}

bool ConsoleHost::allocateCells(int w, int h) {
    return allocate(w, h);
}

bool ConsoleHost::present() {
    return backend && cells && backend->present(cells, width, height);
}

bool ConsoleHost::readInput(InputRecord& record) {
    return backend && opened && backend->readInput(record);
}

void ConsoleHost::setMouseInput(bool on) {
    if (backend && opened)
        backend->setMouseInput(on);
}

void ConsoleHost::setTitle(const char* title) {
    if (backend && opened)
        backend->setTitle(title);
}

bool ConsoleHost::drawText(const char* text, std::uint16_t attribute, int x, int y) {
    if (x < 0 || x >= width || y < 0 || y >= height)
        return false;
    Cell* cell = cells + y * width + x;
    // The first byte goes down before the terminator is looked at.
    do {
        cell->attributes = attribute;
        cell->character =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<signed char>(*text)));
        ++cell;
        ++text;
        ++x;
    } while (*text != '\0' && x < width);
    return true;
}

void ConsoleHost::close() {
    if (backend && opened)
        backend->close();
    opened = false;
    release();
}
