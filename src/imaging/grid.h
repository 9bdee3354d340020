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

// A fresh zeroed w x h grid in `items` with its sides in `width` and
// `height`; false (and everything left as it was) when it cannot be had.
template <class Item> bool allocateGrid(Item*& items, int& width, int& height, int w, int h) {
    Item* fresh = newGrid<Item>(w, h);
    if (!fresh)
        return false;
    items = fresh;
    width = w;
    height = h;
    return true;
}

// Frees the grid and empties its sides.
template <class Item> void releaseGrid(Item*& items, int& width, int& height) {
    delete[] items;
    items = nullptr;
    width = height = 0;
}
