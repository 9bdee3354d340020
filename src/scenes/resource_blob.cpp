// ResourceBlob::load over the platform's resource lookup, with the test overrides.
#include "resource_blob.h"

namespace {

struct Override {
    std::uint16_t id;
    const std::uint8_t* data;
    std::uint32_t size;
    bool present;
};

constexpr int maxOverrides = 16;
Override overrides[maxOverrides];
int overrideCount = 0;

} // namespace

void overrideResource(std::uint16_t id, const void* data, std::uint32_t size, bool present) {
    for (int i = 0; i < overrideCount; ++i) {
        if (overrides[i].id == id) {
            overrides[i] = {id, static_cast<const std::uint8_t*>(data), size, present};
            return;
        }
    }
    if (overrideCount < maxOverrides)
        overrides[overrideCount++] = {id, static_cast<const std::uint8_t*>(data), size, present};
}

void clearResourceOverrides() {
    overrideCount = 0;
}

const std::uint8_t* ResourceBlob::load(std::uint16_t id) {
    data = nullptr;
    size = 0;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    bool found = false;
    bool overridden = false;
    for (int i = 0; i < overrideCount; ++i) {
        if (overrides[i].id == id) {
            overridden = true;
            found = overrides[i].present;
            bytes = overrides[i].data;
            length = overrides[i].size;
        }
    }
    if (!overridden)
        found = findPlatformResource(id, &bytes, &length);
    if (!found || length == 0 || !bytes)
        return nullptr;
    data = bytes;
    size = length;
    return data;
}
