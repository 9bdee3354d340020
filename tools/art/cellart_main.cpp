// Build-time tool: turns the editable text form of a picture into the binary
// resource the program embeds, and a binary resource back into text.
//
//   shadestrip-cellart compile IN.txt OUT [--size WIDTHxHEIGHT] [--forbid CHARS]
//                              [--forbid-byte HH]
//   shadestrip-cellart decompile cells|bytes IN WIDTH OUT.txt
#include "art_files.h"
#include "art_text.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: shadestrip-cellart compile IN.txt OUT [--size WIDTHxHEIGHT] "
                         "[--forbid CHARS] [--forbid-byte HH]\n"
                         "       shadestrip-cellart decompile cells|bytes IN WIDTH OUT.txt\n");
    return 2;
}

int compile(int argc, char** argv) {
    if (argc < 4)
        return usage();
    const std::string in = argv[2], out = argv[3];
    ArtRules rules;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &rules.width, &rules.height) != 2)
                return usage();
        } else if (std::strcmp(argv[i], "--forbid") == 0 && i + 1 < argc) {
            rules.forbiddenGlyphs += argv[++i];
        } else if (std::strcmp(argv[i], "--forbid-byte") == 0 && i + 1 < argc) {
            // For characters a command line cannot carry, such as byte 0.
            unsigned byte = 0;
            if (std::sscanf(argv[++i], "%2x", &byte) != 1)
                return usage();
            rules.forbiddenGlyphs += static_cast<char>(byte);
        } else {
            return usage();
        }
    }
    std::string text;
    if (!readFile(in, text)) {
        std::fprintf(stderr, "%s: cannot read\n", in.c_str());
        return 1;
    }
    ArtPicture picture;
    std::string error;
    if (!parseArtText(text, in, rules, picture, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!writeFile(out, picture.data.data(), picture.data.size())) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    return 0;
}

int decompile(int argc, char** argv) {
    if (argc != 6)
        return usage();
    ArtPicture picture;
    if (std::strcmp(argv[2], "cells") == 0)
        picture.kind = ArtKind::cells;
    else if (std::strcmp(argv[2], "bytes") == 0)
        picture.kind = ArtKind::bytes;
    else
        return usage();
    const std::string in = argv[3], out = argv[5];
    picture.width = std::atoi(argv[4]);
    std::string bytes;
    if (!readFile(in, bytes)) {
        std::fprintf(stderr, "%s: cannot read\n", in.c_str());
        return 1;
    }
    const std::size_t unit = picture.kind == ArtKind::cells ? 2 : 1;
    const std::size_t rowBytes =
        unit * static_cast<std::size_t>(picture.width > 0 ? picture.width : 0);
    if (rowBytes == 0 || bytes.empty() || bytes.size() % rowBytes != 0) {
        std::fprintf(stderr, "%s: %zu bytes is not a whole number of rows of %d %s\n", in.c_str(),
                     bytes.size(), picture.width,
                     picture.kind == ArtKind::cells ? "cells" : "bytes");
        return 1;
    }
    picture.height = static_cast<int>(bytes.size() / rowBytes);
    picture.data.assign(bytes.begin(), bytes.end());
    const std::string text =
        formatArtText(picture, "Made by shadestrip-cellart decompile from " + in);
    if (!writeFile(out, text.data(), text.size())) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "compile") == 0)
        return compile(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "decompile") == 0)
        return decompile(argc, argv);
    return usage();
}
