#include "FixedText.h"

#include <cstring>

namespace kivra {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes in the sequence that lead byte c starts; 1 for a plain or invalid byte.
std::size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF7) return 4;
    if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
    if (c >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::size_t CopyFixedText(char *dest, std::size_t room, const char *source) {
    if (room == 0 || dest == nullptr) return 0;
    if (source == nullptr) source = "";

    const std::size_t limit = room - 1;
    std::size_t n = strnlen(source, limit);

    if (source[n] != '\0' && n > 0) {
        // Cut: find the lead byte of the last sequence kept (at most three continuation bytes
        // back) and drop the sequence when it does not end before the cut.
        std::size_t lead = n - 1;
        while (lead > 0 && n - lead < 4 && IsContinuation(static_cast<unsigned char>(source[lead])))
            --lead;
        const auto c = static_cast<unsigned char>(source[lead]);
        if (!IsContinuation(c) && lead + SequenceLength(c) > n) n = lead;
    }

    std::memcpy(dest, source, n);
    dest[n] = '\0';
    return n;
}

}  // namespace kivra
