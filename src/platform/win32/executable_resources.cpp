// Resource lookup on Windows: resources of type "BINARY" in the executable's
// own module, compiled in from the resource list. The bytes belong to the
// mapped image and are never freed.
#include "app/platform.h"

#include <windows.h>

bool findPlatformResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size) {
    *data = nullptr;
    *size = 0;
    // No language is asked for: the module's only one is found.
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "BINARY");
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded)
        return false;
    const DWORD length = SizeofResource(nullptr, found);
    if (length == 0)
        return false;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return false;
    *data = static_cast<const std::uint8_t*>(bytes);
    *size = length;
    return true;
}
