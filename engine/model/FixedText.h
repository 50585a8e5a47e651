#pragma once
// Copying a text into a fixed, zero-terminated character field of a record.

#include <cstddef>

namespace kivra {

// Copies source into dest, a field of room bytes: at most room - 1 bytes of text, always
// zero-terminated. When the text has to be cut, a UTF-8 sequence at the cut is never split: its
// partial bytes are left out, so valid UTF-8 stays valid. A null source copies as "". A room of
// 0 writes nothing. Returns the number of text bytes written.
std::size_t CopyFixedText(char *dest, std::size_t room, const char *source);

// The same for a field given as an array: the room is the array's size.
template <std::size_t N> std::size_t CopyFixedText(char (&dest)[N], const char *source) {
    return CopyFixedText(dest, N, source);
}

}  // namespace kivra
