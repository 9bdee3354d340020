// The input the controls read: records shaped like the console's INPUT_RECORD
// as far as the controls read it, with the console's own key codes and mouse
// bits. Every platform turns its own input into these.
#pragma once

#include <cstdint>

struct InputRecord {
    static constexpr std::uint16_t keyEvent = 1;
    static constexpr std::uint16_t mouseEvent = 2;

    std::uint16_t eventType = 0;
    // keyEvent
    bool keyDown = false;
    std::uint16_t virtualKeyCode = 0;
    // mouseEvent: cell position, button bits (mouseButton) and event flags (mouseFlag)
    std::int16_t mouseX = 0;
    std::int16_t mouseY = 0;
    std::uint32_t buttonState = 0;
    std::uint32_t eventFlags = 0;
};

// Virtual-key codes (the console's numbering). Letters and digits are their
// upper-case ASCII codes.
namespace virtualKey {
constexpr std::uint16_t back = 8;
constexpr std::uint16_t tab = 9;
constexpr std::uint16_t enter = 13;
constexpr std::uint16_t escape = 27;
constexpr std::uint16_t space = 32;
constexpr std::uint16_t pageUp = 33;
constexpr std::uint16_t pageDown = 34;
constexpr std::uint16_t end = 35;
constexpr std::uint16_t home = 36;
constexpr std::uint16_t left = 37;
constexpr std::uint16_t up = 38;
constexpr std::uint16_t right = 39;
constexpr std::uint16_t down = 40;
constexpr std::uint16_t insert = 45;
constexpr std::uint16_t del = 46;
constexpr std::uint16_t m = 'M';
constexpr std::uint16_t n = 'N';
constexpr std::uint16_t f1 = 112;
// The US layout's / and ? key (OEM 2). A console turns a typed ? into this
// code whatever the layout, so that ? always asks for the key list.
constexpr std::uint16_t questionMark = 0xBF;
} // namespace virtualKey

// The console's mouse button bits (InputRecord::buttonState).
namespace mouseButton {
constexpr std::uint32_t left = 0x1;
constexpr std::uint32_t right = 0x2;
constexpr std::uint32_t middle = 0x4;
} // namespace mouseButton

// The console's mouse event flags (InputRecord::eventFlags).
namespace mouseFlag {
constexpr std::uint32_t moved = 0x1;
constexpr std::uint32_t doubleClick = 0x2;
constexpr std::uint32_t wheeled = 0x4;
} // namespace mouseFlag

// A fixed ring of input records: a console fills it as input arrives and the
// controls' reads drain it. Never allocates; a full queue refuses records.
template <int Capacity> class InputQueue {
  public:
    int size() const { return count; }
    int room() const { return Capacity - count; }

    bool push(const InputRecord& record) {
        if (count == Capacity)
            return false;
        records[(head + count) % Capacity] = record;
        ++count;
        return true;
    }

    bool pop(InputRecord& record) {
        if (count == 0)
            return false;
        record = records[head];
        head = (head + 1) % Capacity;
        --count;
        return true;
    }

    void clear() { head = count = 0; }

  private:
    InputRecord records[Capacity];
    int head = 0;
    int count = 0;
};
