// Output name patterns: "%d" numbers frames, "%%" is "%", nothing else.
#include "output_name.h"

#include <cstdio>

bool OutputName::parse(const std::string& pattern, std::string& error) {
    *this = OutputName();
    std::string* text = &before;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            text->push_back(pattern[i]);
            continue;
        }
        hasPercent = true;
        std::size_t j = i + 1;
        if (j < pattern.size() && pattern[j] == '%') {
            text->push_back('%');
            i = j;
            continue;
        }
        bool zero = false;
        if (j < pattern.size() && pattern[j] == '0') {
            zero = true;
            ++j;
        }
        int digits = 0;
        int fieldWidth = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
            fieldWidth = fieldWidth * 10 + (pattern[j] - '0');
            ++digits;
            ++j;
        }
        if (j >= pattern.size() || pattern[j] != 'd' || digits > 1) {
            error = "--out may hold only %d, %0Nd or %Nd (N from 1 to 9) to number frames and "
                    "%% for a percent sign: \"" +
                    pattern + "\"";
            return false;
        }
        if (hasNumber) {
            error = "--out may number frames only once: \"" + pattern + "\"";
            return false;
        }
        hasNumber = true;
        zeroPad = zero;
        width = fieldWidth;
        text = &after;
        i = j;
    }
    return true;
}

std::string OutputName::name(std::int64_t number, bool sequence) const {
    char digits[32];
    if (hasNumber) {
        std::snprintf(digits, sizeof digits, zeroPad ? "%0*lld" : "%*lld", width,
                      static_cast<long long>(number));
        return before + digits + after;
    }
    if (!sequence || hasPercent)
        return before;
    std::snprintf(digits, sizeof digits, "-%04lld", static_cast<long long>(number));
    const std::size_t dot = before.find_last_of('.');
    const std::size_t slash = before.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return before + digits;
    return before.substr(0, dot) + digits + before.substr(dot);
}

std::string printable(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F in UTF-8.
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
        if (c < 0x20 || c == 0x7F || c1) {
            const unsigned char code = c1 ? static_cast<unsigned char>(text[++i]) : c;
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", code);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
