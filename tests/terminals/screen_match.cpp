// Compares a screenshot of a terminal showing the show (a binary PPM, one cell
// of CELL_W x CELL_H pixels per character, the frame at the top left) with the
// capture tool's frames (raw cells files): a cell matches when every pixel in
// it has its foreground or its background colour, the background alone for a
// blank, through the palette the terminal uses (VGA for 24-bit colour, the
// 256-colour cube, or xterm's own 16 colours). Prints the best frame and its share of matching
// cells; exits 0 when that share reaches MIN_SHARE.
//
// Usage: screen_match SCREEN.ppm CELL_W CELL_H MIN_SHARE FRAME.cells...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// In console attribute order (blue is bit 0).
const Rgb vga[16] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                     {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                     {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                     {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};
const Rgb xtermDefault[16] = {{0, 0, 0},       {0, 0, 238},   {0, 205, 0},   {0, 205, 205},
                              {205, 0, 0},     {205, 0, 205}, {205, 205, 0}, {229, 229, 229},
                              {127, 127, 127}, {92, 92, 255}, {0, 255, 0},   {0, 255, 255},
                              {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};

// The 256-colour entries the show uses for the VGA colours in 256-colour mode.
Rgb cubeColour(int index) {
    if (index >= 232) {
        const int v = 8 + 10 * (index - 232);
        return Rgb{v, v, v};
    }
    static const int level[6] = {0, 95, 135, 175, 215, 255};
    const int i = index - 16;
    return Rgb{level[i / 36], level[i / 6 % 6], level[i % 6]};
}
const int cubeIndex[16] = {16, 19, 34, 37, 124, 127, 130, 248, 240, 63, 83, 87, 203, 207, 227, 231};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    Rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

bool readPpm(const char* path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    in >> magic >> image.width >> image.height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255 || image.width <= 0 || image.height <= 0)
        return false;
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    in.read(reinterpret_cast<char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size()));
    return static_cast<bool>(in);
}

double share(const Image& screen, int cellW, int cellH, const std::string& cells,
             const Rgb* palette) {
    const int columns = 80;
    const int rows = 50;
    if (cells.size() != static_cast<std::size_t>(columns) * rows * 2 ||
        screen.width < columns * cellW || screen.height < rows * cellH)
        return 0;
    int matching = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const auto glyph = static_cast<unsigned char>(cells[(row * columns + column) * 2]);
            const auto attributes =
                static_cast<unsigned char>(cells[(row * columns + column) * 2 + 1]);
            const Rgb fg = palette[attributes & 15];
            const Rgb bg = palette[attributes >> 4];
            const bool blank = glyph == 0 || glyph == ' ' || glyph == 0xFF;
            bool ok = true;
            for (int y = 0; y < cellH && ok; ++y) {
                for (int x = 0; x < cellW && ok; ++x) {
                    const Rgb p = screen.at(column * cellW + x, row * cellH + y);
                    ok = p == bg || (!blank && p == fg);
                }
            }
            matching += ok ? 1 : 0;
        }
    }
    return matching / double(columns * rows);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: screen_match SCREEN.ppm CELL_W CELL_H MIN_SHARE FRAME.cells...\n");
        return 2;
    }
    Image screen;
    if (!readPpm(argv[1], screen)) {
        std::fprintf(stderr, "screen_match: %s is no binary PPM\n", argv[1]);
        return 2;
    }
    const int cellW = std::atoi(argv[2]);
    const int cellH = std::atoi(argv[3]);
    const double minShare = std::atof(argv[4]);
    Rgb cube[16];
    for (int i = 0; i < 16; ++i)
        cube[i] = cubeColour(cubeIndex[i]);
    const Rgb* palettes[3] = {vga, xtermDefault, cube};
    const char* names[3] = {"VGA", "xterm", "256-colour"};
    double best = 0;
    std::string bestFrame = "none";
    const char* bestPalette = "";
    for (int i = 5; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::string cells((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        for (int p = 0; p < 3; ++p) {
            const double s = share(screen, cellW, cellH, cells, palettes[p]);
            if (s > best) {
                best = s;
                bestFrame = argv[i];
                bestPalette = names[p];
            }
        }
    }
    std::printf("best frame %s through the %s palette: %.1f %% of the cells match\n",
                bestFrame.c_str(), bestPalette, best * 100);
    return best >= minShare ? 0 : 1;
}
