// Build-time tool: writes a placeholder resource of an exact size, filled with
// one byte value, for pictures whose content has not been made yet.
//
//   shadestrip-placeholder OUT SIZE [BYTE]
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUT SIZE [BYTE]\n", argv[0]);
        return 2;
    }
    const long size = std::strtol(argv[2], nullptr, 10);
    const int value = argc == 4 ? std::atoi(argv[3]) : 0;
    if (size < 0) {
        std::fprintf(stderr, "%s: size must not be negative\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size),
                                     static_cast<unsigned char>(value));
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
