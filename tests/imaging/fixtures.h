// Small asymmetric fixtures: flips and swaps show up as wrong cells.
#pragma once

#include "imaging/cell_image.h"

#include <string>
#include <vector>

// A 6 x 5 "F": characters from the picture, attribute = column + 16 * row.
inline void makeFImage(CellImage& image) {
    static const char* const rows[5] = {"FFFFF.", "F.....", "FFFF..", "F.....", "F....."};
    image.allocate(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            image.at(x, y) = Cell{static_cast<std::uint16_t>(rows[y][x]),
                                  static_cast<std::uint16_t>(x + 16 * y)};
}

inline std::string rowText(const CellImage& image, int y) {
    std::string text;
    for (int x = 0; x < image.width; ++x)
        text += static_cast<char>(image.at(x, y).character ? image.at(x, y).character : ' ');
    return text;
}
