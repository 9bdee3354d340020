// Build-time tool: turns the editable shade ramp list (resources/ramps.txt) into
// the binary ramp table the program embeds. Fails loudly on anything malformed.
//
//   shadestrip-rampc ramps.txt ramps.bin
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int fail(const std::string& where, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", where.c_str(), what.c_str());
    return 1;
}

bool parseHexByte(const std::string& text, unsigned& value) {
    if (text.size() != 2 || !std::isxdigit(static_cast<unsigned char>(text[0])) ||
        !std::isxdigit(static_cast<unsigned char>(text[1])))
        return false;
    value = static_cast<unsigned>(std::stoul(text, nullptr, 16));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RAMPS.txt OUT.bin\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in)
        return fail(argv[1], "cannot read");
    std::vector<unsigned char> out;
    bool seen[256] = {};
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string where = std::string(argv[1]) + ":" + std::to_string(lineNumber);
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            return fail(where, "expected \"index: key cells\"");
        int index = -1;
        try {
            index = std::stoi(line.substr(0, colon));
        } catch (...) {
            return fail(where, "ramp index is not a number");
        }
        if (index < 0 || index > 255)
            return fail(where, "ramp index must be 0..255");
        if (seen[index])
            return fail(where, "ramp " + std::to_string(index) + " is listed twice");
        seen[index] = true;
        std::istringstream cells(line.substr(colon + 1));
        std::vector<unsigned char> keys;
        std::string cell;
        while (cells >> cell) {
            const auto slash = cell.find('/');
            unsigned character = 0, attribute = 0;
            if (slash == std::string::npos || !parseHexByte(cell.substr(0, slash), character) ||
                !parseHexByte(cell.substr(slash + 1), attribute))
                return fail(where, "key cell \"" + cell + "\" is not CC/AA in hexadecimal");
            keys.push_back(static_cast<unsigned char>(character));
            keys.push_back(static_cast<unsigned char>(attribute));
        }
        const std::size_t n = keys.size() / 2;
        if (n == 0 || n > 255)
            return fail(where, "a ramp needs 1 to 255 key cells");
        out.push_back(static_cast<unsigned char>(index));
        out.push_back(static_cast<unsigned char>(n));
        out.insert(out.end(), keys.begin(), keys.end());
    }
    if (out.empty())
        return fail(argv[1], "no ramps");
    std::ofstream file(argv[2], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file)
        return fail(argv[2], "cannot write");
    return 0;
}
