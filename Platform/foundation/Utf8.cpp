#include "foundation/Utf8.h"

#include <array>
#include <cstdint>

namespace platform {

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        std::uint8_t c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        std::uint32_t code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        static constexpr std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < minimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

namespace {

// The whitespace characters, as UTF-8.
constexpr std::array<std::string_view, 18> kWhitespace{
    "\t",     " ",      "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004",
    "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"};

}  // namespace

std::string trimmedOfWhitespace(std::string_view text) {
    // Each begins with a lead byte, so a match at either end is a whole character.
    const auto strip = [&](bool front) {
        for (const std::string_view space : kWhitespace)
            if (front ? text.starts_with(space) : text.ends_with(space)) {
                text = front ? text.substr(space.size()) : text.substr(0, text.size() - space.size());
                return true;
            }
        return false;
    };
    while (strip(true)) {
    }
    while (strip(false)) {
    }
    return std::string(text);
}

}  // namespace platform
