// ResourceBlob: the one way to reach the embedded resources (ids 103 to 112).
// The bytes belong to the executable and stay valid and unmoved for the whole run.
#pragma once

#include "imaging/blob.h"

#include <cstdint>

class ResourceBlob : public Blob {
  public:
    // The resource's first byte, or null when it is missing or empty (the blob
    // is then empty too). Each load replaces the previous view.
    const std::uint8_t* load(std::uint16_t id);
};

// Tests replace resources by id: `data` null and `present` false removes one,
// a zero `size` makes an empty one. clearResourceOverrides puts all back.
void overrideResource(std::uint16_t id, const void* data, std::uint32_t size, bool present = true);
void clearResourceOverrides();

// Where the embedded resources are found, provided by each platform: the
// executable's own resources on Windows, the table linked into the program
// elsewhere. False when `id` is absent.
bool findPlatformResource(std::uint16_t id, const std::uint8_t** data, std::uint32_t* size);

// The embedded resources by id (a plain enum: ids pass as numbers).
namespace resourceId {
enum : std::uint16_t {
    music = 103,
    ramps = 104,
    titleArt = 105,
    cloudMask = 106,
    starfieldArt = 107,
    rotozoomPicture = 108,
    captionBand = 109,
    fireEdgeArt = 110,
    closingPicture = 111,
    blinkPatch = 112,
};
} // namespace resourceId
