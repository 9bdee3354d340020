// Fuzzes the key decoder the way the terminal console drives it: the bytes come
// in pieces of any size, a piece may end in the middle of a sequence, and quiet
// spells (end of input) come at any point. Checks what the console relies on:
// a decode never claims more bytes than it was given, at the end of input it
// always makes progress (or the console's input would stall for good), and
// mouse records land inside the frame.
#include "platform/posix/terminal/key_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size > 4096)
        return 0;
    // The first bytes set the scene: mouse on or off, where the frame lies on the
    // terminal (it may be cropped: a negative origin) and the frame's size.
    KeyDecoder decoder;
    decoder.mouseOn = (data[0] & 1) != 0;
    const int originColumn = static_cast<int>(data[1]) - 128;
    const int originRow = static_cast<int>(data[2]) - 128;
    const int frameWidth = 1 + (data[3] & 0x7F);
    const int frameHeight = 1 + (data[0] >> 1);
    decoder.setFrameOrigin(originColumn, originRow, frameWidth, frameHeight);
    data += 4;
    size -= 4;

    // The console's buffer: 256 bytes, refilled as decoding frees room. A byte
    // 0xFF is taken as a pause (the end of input); every byte also moves the
    // clock, so double clicks come and go.
    std::uint8_t buffer[256];
    std::size_t length = 0;
    std::size_t next = 0;
    std::uint32_t now = 0;
    while (next < size || length > 0) {
        bool pause = false;
        while (next < size && length < sizeof buffer) {
            const std::uint8_t byte = data[next++];
            now += byte & 0x3F;
            if (byte == 0xFF) {
                pause = true;
                break;
            }
            buffer[length++] = byte;
        }
        const bool endOfInput = pause || next >= size;
        std::size_t start = 0;
        while (start < length) {
            const DecodeStep step = decoder.decode(buffer + start, length - start, endOfInput, now);
            check(step.used <= length - start);
            check(step.count >= 0 && step.count <= 2);
            if (step.used == 0) {
                // Waiting for more is only allowed while more may come, and
                // while the buffer has room for it.
                check(!endOfInput);
                break;
            }
            check(step.count == 0 || step.used > 0);
            for (int i = 0; i < step.count; ++i) {
                const InputRecord& record = step.records[i];
                if (record.eventType == InputRecord::mouseEvent) {
                    check(decoder.mouseOn);
                    check(record.mouseX >= 0 && record.mouseX < frameWidth);
                    check(record.mouseY >= 0 && record.mouseY < frameHeight);
                } else {
                    check(record.eventType == InputRecord::keyEvent);
                    check(record.virtualKeyCode != 0);
                }
            }
            start += step.used;
        }
        std::memmove(buffer, buffer + start, length - start);
        length -= start;
        // A full buffer that cannot be decoded would never empty.
        check(length < sizeof buffer);
    }
    return 0;
}
