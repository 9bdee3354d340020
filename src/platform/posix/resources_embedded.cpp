// Resource lookup where the resources are linked into the program as a table
// (made at build time by shadestrip-embed from the resource list).
#include "app/platform.h"

bool findEmbeddedResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size);

bool findPlatformResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size) {
    return findEmbeddedResource(id, data, size);
}
