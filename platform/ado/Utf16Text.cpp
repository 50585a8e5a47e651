#include "Utf16Text.h"

#include <cstring>

namespace kivra {
namespace {

bool IsHigh(std::uint16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool IsLow(std::uint16_t u) { return u >= 0xDC00 && u < 0xE000; }

// Whether the four units at text are all plain (below 0x80): most texts are, four at a time.
bool FourPlain(const std::uint16_t *text) {
    std::uint64_t w;
    std::memcpy(&w, text, sizeof w);
    return (w & 0xFF80FF80FF80FF80ULL) == 0;
}

}  // namespace

std::size_t Utf8LengthOfUtf16(const std::uint16_t *text, std::size_t units) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < units; ++i) {
        if (i + 4 <= units && FourPlain(text + i)) {
            bytes += 4;
            i += 3;
            continue;
        }
        const std::uint16_t u = text[i];
        if (u < 0x80) {
            bytes += 1;
        } else if (u < 0x800) {
            bytes += 2;
        } else if (IsHigh(u) && i + 1 < units && IsLow(text[i + 1])) {
            bytes += 4;
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            bytes += 1;  // "?"
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

std::size_t Utf16ToUtf8(const std::uint16_t *text, std::size_t units, char *out) {
    char *p = out;
    for (std::size_t i = 0; i < units; ++i) {
        if (i + 4 <= units && FourPlain(text + i)) {
            for (int k = 0; k < 4; ++k) *p++ = static_cast<char>(text[i + k]);
            i += 3;
            continue;
        }
        const std::uint32_t u = text[i];
        if (u < 0x80) {
            *p++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *p++ = static_cast<char>(0xC0 | (u >> 6));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (IsHigh(static_cast<std::uint16_t>(u)) && i + 1 < units && IsLow(text[i + 1])) {
            const std::uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        } else if (IsHigh(static_cast<std::uint16_t>(u)) || IsLow(static_cast<std::uint16_t>(u))) {
            *p++ = '?';
        } else {
            *p++ = static_cast<char>(0xE0 | (u >> 12));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return static_cast<std::size_t>(p - out);
}

}  // namespace kivra
