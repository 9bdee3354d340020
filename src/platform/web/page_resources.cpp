// Resource lookup of the browser build: the table linked into the module for
// every resource but the music. The page fetches the music beside the module,
// so that both load at once and a slow link can be given a smaller encoding,
// and hands it over (Module.music, an ArrayBuffer) before the show starts up.
#include "scenes/resource_blob.h"

#include <emscripten/emscripten.h>

#include <vector>

bool findEmbeddedResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size);

// clang-format off
EM_JS(int, pageMusicSize, (), {
    return Module.music ? Module.music.byteLength : 0;
});
// The page's copy goes once it is in the module's memory.
EM_JS(void, pageMusicTake, (std::uint8_t* destination), {
    HEAPU8.set(new Uint8Array(Module.music), destination);
    Module.music = null;
});
// clang-format on

namespace {

// Taken from the page at the first lookup and kept, unmoved, for the whole run.
std::vector<std::uint8_t>& pageMusic() {
    static std::vector<std::uint8_t> bytes;
    return bytes;
}

} // namespace

bool findPlatformResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size) {
    if (id != resourceId::music)
        return findEmbeddedResource(id, data, size);
    std::vector<std::uint8_t>& music = pageMusic();
    if (music.empty()) {
        const int length = pageMusicSize();
        if (length <= 0)
            return false;
        music.resize(static_cast<std::size_t>(length));
        pageMusicTake(music.data());
    }
    *data = music.data();
    *size = static_cast<std::uint32_t>(music.size());
    return true;
}
