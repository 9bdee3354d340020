// Renders a picture to PNG as the console would show it: cell art as it is,
// a byte map through one of the shade ramps. Reads the binary resources and
// their text form alike.
//
//   shadestrip-preview cells FILE WIDTH OUT.png [--key C] [--patch FILE WIDTH X Y] [--crop X,Y,W,H]
//   shadestrip-preview bytes FILE WIDTH RAMP OUT.png [--ramps ramps.txt|ramps.bin] [--tile NxM]
//                      [--crop X,Y,W,H]
//
// --key C shows cells holding the character C as black, the way the title sits
// on the dark backdrop. --patch lays a second piece of cell art over the first,
// whole (the blink patch over the closing picture). --tile repeats a byte map
// to show how it wraps. --crop keeps a rectangle of cells.
#include "art_files.h"
#include "art_text.h"
#include "cell_png.h"
#include "imaging/blob.h"
#include "imaging/shade_ramp.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#ifndef SHADESTRIP_DEFAULT_RAMPS
#define SHADESTRIP_DEFAULT_RAMPS "resources/ramps.txt"
#endif

namespace {

int usage() {
    std::fprintf(stderr, "usage: shadestrip-preview cells FILE WIDTH OUT.png [--key C]\n"
                         "       shadestrip-preview bytes FILE WIDTH RAMP OUT.png "
                         "[--ramps ramps.txt|ramps.bin] [--tile NxM]\n");
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

// The text form starts (after comments) with "cells " or "bytes ".
bool looksLikeText(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        return line.compare(first, 6, "cells ") == 0 || line.compare(first, 6, "bytes ") == 0;
    }
    return false;
}

// Loads FILE as a picture of `kind`, `width` units a row, binary or text.
bool loadPicture(const std::string& path, ArtKind kind, int width, ArtPicture& picture,
                 std::string& error) {
    std::string bytes;
    if (!readFile(path, bytes)) {
        error = path + ": cannot read";
        return false;
    }
    if (looksLikeText(bytes)) {
        if (!parseArtText(bytes, path, ArtRules{}, picture, error))
            return false;
        if (picture.kind != kind || picture.width != width) {
            error = path + ": the text holds a different kind or width of picture";
            return false;
        }
        return true;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (kind == ArtKind::cells ? 2 : 1);
    if (width <= 0 || bytes.empty() || bytes.size() % rowBytes != 0) {
        error = path + ": " + std::to_string(bytes.size()) +
                " bytes is not a whole number of rows of width " + std::to_string(width);
        return false;
    }
    picture.kind = kind;
    picture.width = width;
    picture.height = static_cast<int>(bytes.size() / rowBytes);
    picture.data.assign(bytes.begin(), bytes.end());
    return true;
}

// The ramp list as binary records: ramps.bin as it is, ramps.txt compiled
// ("index: CC/AA CC/AA ...", '#' comments).
bool loadRampRecords(const std::string& path, std::string& records, std::string& error) {
    std::string bytes;
    if (!readFile(path, bytes)) {
        error = path + ": cannot read";
        return false;
    }
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".txt") != 0) {
        records = bytes;
        return true;
    }
    std::istringstream in(bytes);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto colon = line.find(':');
        std::istringstream cells(colon == std::string::npos ? "" : line.substr(colon + 1));
        std::string keys, cell;
        unsigned c = 0, a = 0;
        while (cells >> cell) {
            if (std::sscanf(cell.c_str(), "%2x/%2x", &c, &a) != 2)
                break;
            keys += static_cast<char>(c);
            keys += static_cast<char>(a);
        }
        const int index = std::atoi(line.c_str());
        if (colon == std::string::npos || keys.empty() || keys.size() > 510 || index < 0 ||
            index > 255) {
            error = path + ":" + std::to_string(number) + ": not a ramp record";
            return false;
        }
        records += static_cast<char>(index);
        records += static_cast<char>(keys.size() / 2);
        records += keys;
    }
    return true;
}

struct Crop {
    int x = 0, y = 0, w = 0, h = 0; // w = 0: the whole picture
};

bool parseCrop(const char* text, Crop& crop) {
    return std::sscanf(text, "%d,%d,%d,%d", &crop.x, &crop.y, &crop.w, &crop.h) == 4 &&
           crop.x >= 0 && crop.y >= 0 && crop.w > 0 && crop.h > 0;
}

// Writes the cropped picture; a crop that leaves the picture is an error.
int writeCropped(const std::string& path, const std::vector<Cell>& cells, int w, int h,
                 const Crop& crop) {
    if (crop.w == 0) {
        if (!writeCellsPng(path, cells.data(), w, h))
            return fail(path + ": cannot write");
        return 0;
    }
    if (crop.x + crop.w > w || crop.y + crop.h > h)
        return fail("the crop reaches outside the " + std::to_string(w) + " x " +
                    std::to_string(h) + " picture");
    std::vector<Cell> part;
    for (int y = crop.y; y < crop.y + crop.h; ++y)
        for (int x = crop.x; x < crop.x + crop.w; ++x)
            part.push_back(cells[static_cast<std::size_t>(y) * w + x]);
    if (!writeCellsPng(path, part.data(), crop.w, crop.h))
        return fail(path + ": cannot write");
    return 0;
}

int previewCells(int argc, char** argv) {
    if (argc < 5)
        return usage();
    int key = -1;
    Crop crop;
    const char* patchPath = nullptr;
    int patchWidth = 0, patchX = 0, patchY = 0;
    for (int i = 5; i < argc; ++i) {
        if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc && std::strlen(argv[i + 1]) == 1)
            key = static_cast<unsigned char>(argv[++i][0]);
        else if (std::strcmp(argv[i], "--crop") == 0 && i + 1 < argc &&
                 parseCrop(argv[i + 1], crop))
            ++i;
        else if (std::strcmp(argv[i], "--patch") == 0 && i + 4 < argc) {
            patchPath = argv[i + 1];
            patchWidth = std::atoi(argv[i + 2]);
            patchX = std::atoi(argv[i + 3]);
            patchY = std::atoi(argv[i + 4]);
            i += 4;
        } else
            return usage();
    }
    ArtPicture picture;
    std::string error;
    if (!loadPicture(argv[2], ArtKind::cells, std::atoi(argv[3]), picture, error))
        return fail(error);
    std::vector<Cell> cells(static_cast<std::size_t>(picture.width) * picture.height);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i] = Cell{picture.data[2 * i], picture.data[2 * i + 1]};
        if (static_cast<int>(cells[i].character) == key)
            cells[i] = Cell{0x20, 0x00};
    }
    if (patchPath) {
        ArtPicture patch;
        if (!loadPicture(patchPath, ArtKind::cells, patchWidth, patch, error))
            return fail(error);
        for (int y = 0; y < patch.height; ++y)
            for (int x = 0; x < patch.width; ++x) {
                const int tx = patchX + x, ty = patchY + y;
                if (tx < 0 || ty < 0 || tx >= picture.width || ty >= picture.height)
                    continue;
                const std::size_t i = static_cast<std::size_t>(y) * patch.width + x;
                cells[static_cast<std::size_t>(ty) * picture.width + tx] =
                    Cell{patch.data[2 * i], patch.data[2 * i + 1]};
            }
    }
    return writeCropped(argv[4], cells, picture.width, picture.height, crop);
}

int previewBytes(int argc, char** argv) {
    if (argc < 6)
        return usage();
    std::string rampsPath = SHADESTRIP_DEFAULT_RAMPS;
    int tileX = 1, tileY = 1;
    Crop crop;
    for (int i = 6; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ramps") == 0 && i + 1 < argc)
            rampsPath = argv[++i];
        else if ((std::strcmp(argv[i], "--crop") == 0 && i + 1 < argc &&
                  parseCrop(argv[i + 1], crop)) ||
                 (std::strcmp(argv[i], "--tile") == 0 && i + 1 < argc &&
                  std::sscanf(argv[i + 1], "%dx%d", &tileX, &tileY) == 2 && tileX > 0 &&
                  tileY > 0 && tileX <= 16 && tileY <= 16))
            ++i; // the option's value
        else
            return usage();
    }
    ArtPicture picture;
    std::string error, records;
    if (!loadPicture(argv[2], ArtKind::bytes, std::atoi(argv[3]), picture, error) ||
        !loadRampRecords(rampsPath, records, error))
        return fail(error);
    ShadeRampTable ramps;
    const ByteBlob blob(records.data(), static_cast<std::uint32_t>(records.size()));
    if (!ramps.build(blob))
        return fail(rampsPath + ": the ramp records do not build");
    const int rampIndex = std::atoi(argv[4]);
    if (rampIndex < 0 || rampIndex > 255 || !ramps[rampIndex])
        return fail(std::string("no ramp ") + argv[4] + " in " + rampsPath);
    const ShadeRamp& ramp = *ramps[rampIndex];

    // A byte becomes a level as the texture loader makes it, and a level a
    // ramp cell as the canvas resolve picks it.
    const float byteScale = 0.003921569f;
    const int w = picture.width * tileX, h = picture.height * tileY;
    std::vector<Cell> cells(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t byte =
                picture.data[static_cast<std::size_t>(y % picture.height) * picture.width +
                             x % picture.width];
            const float level = static_cast<float>(byte) * byteScale;
            int index = static_cast<int>(static_cast<double>(level) * 255.0);
            if (index > 255)
                index = 255;
            cells[static_cast<std::size_t>(y) * w + x] = ramp.cells[index];
        }
    }
    return writeCropped(argv[5], cells, w, h, crop);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "cells") == 0)
        return previewCells(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "bytes") == 0)
        return previewBytes(argc, argv);
    return usage();
}
