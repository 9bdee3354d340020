// shadestrip-frame-digests: the whole show headless at 100 frames per second,
// one line per presented frame: its index and a 64-bit FNV-1a digest of its
// cells. Two builds present the same frames exactly when their lines are equal.
#include "platform/headless/headless_show.h"

#include <cstdint>
#include <cstdio>

int main() {
    HeadlessShow show(100);
    if (!show.start()) {
        std::fprintf(stderr, "shadestrip-frame-digests: the show did not start\n");
        return 1;
    }
    while (show.step()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(show.cells());
        std::uint64_t digest = 14695981039346656037ull;
        for (std::size_t i = 0; i < sizeof(Cell) * consoleColumns * consoleRows; ++i)
            digest = (digest ^ bytes[i]) * 1099511628211ull;
        std::printf("%lld %016llx\n", static_cast<long long>(show.frame()),
                    static_cast<unsigned long long>(digest));
    }
    return 0;
}
