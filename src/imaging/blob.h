// A read-only view of bytes that somebody else owns (an embedded resource).
// The view never frees the bytes; loaders only read them during their call.
#pragma once

#include "non_copyable.h"

#include <cstdint>

class Blob : NonCopyable {
  public:
    Blob() = default;
    // Pure, but with a body: it empties the view.
    virtual ~Blob() = 0;

    const std::uint8_t* data = nullptr; // first byte, null when empty
    std::uint32_t size = 0;             // length in bytes, 0 when empty
};

inline Blob::~Blob() {
    data = nullptr;
    size = 0;
}

// A blob over bytes given by hand: tests and tools use it for in-memory input.
class ByteBlob : public Blob {
  public:
    ByteBlob() = default;
    ByteBlob(const void* bytes, std::uint32_t length) { assign(bytes, length); }
    void assign(const void* bytes, std::uint32_t length) {
        data = static_cast<const std::uint8_t*>(bytes);
        size = length;
    }
};
