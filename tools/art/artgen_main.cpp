// Build-time tool: draws the show's procedural byte maps.
//
//   shadestrip-artgen cloud-mask OUT      512 x 64 alpha bytes
//   shadestrip-artgen ornament OUT        128 x 128 levels, tiles without a seam
#include "byte_maps.h"

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: shadestrip-artgen cloud-mask|ornament OUT\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    if (std::strcmp(argv[1], "cloud-mask") == 0)
        bytes = drawCloudMaskBytes();
    else if (std::strcmp(argv[1], "ornament") == 0)
        bytes = drawOrnament();
    else {
        std::fprintf(stderr, "shadestrip-artgen: unknown picture \"%s\"\n", argv[1]);
        return 2;
    }
    const std::string temporary = std::string(argv[2]) + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file)
        ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), argv[2]) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
