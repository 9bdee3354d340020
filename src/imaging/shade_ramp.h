// Shade ramps: 256 cells that turn a level into a dithered console cell, and
// the table that builds them from their key-cell records.
#pragma once

#include "blob.h"
#include "cell.h"
#include "non_copyable.h"

struct ShadeRamp {
    Cell cells[256]; // index = level * 255
};

class ShadeRampTable : NonCopyable {
  public:
    ShadeRampTable() = default;
    ~ShadeRampTable() { release(); }

    // Records of (index, n, n key cells); each list is stretched to 256 cells.
    // A repeated index, a record that runs past the blob or has no key cells,
    // or a failed allocation fails with the table left empty.
    bool build(const Blob& blob);
    void release();

    const ShadeRamp* operator[](int index) const { return entries[index]; }

    ShadeRamp* entries[256] = {}; // owned; null where no ramp was built
};
