// The element arrays of the images: w x h elements, zero-initialised.
#pragma once

#include <cstddef>
#include <new>

// Null when a side is not positive or memory is short. Freed with delete[].
template <class Item> Item* newGrid(int w, int h) {
    if (w <= 0 || h <= 0)
        return nullptr;
    return new (std::nothrow) Item[static_cast<std::size_t>(w) * static_cast<std::size_t>(h)]();
}
