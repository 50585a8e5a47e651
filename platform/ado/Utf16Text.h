#pragma once
// UTF-16 texts, as a SQL Server sends its Unicode columns (little-endian code units), into
// UTF-8, the form in which the database layer hands texts to its callers. A surrogate pair is
// one character of four bytes; a surrogate without its partner becomes "?", as the driver's own
// conversion writes a character it cannot convert. Pure functions, safe on any thread.

#include <cstddef>
#include <cstdint>

namespace kivra {

// Bytes of the UTF-8 form of the units code units at text.
std::size_t Utf8LengthOfUtf16(const std::uint16_t *text, std::size_t units);

// Writes the UTF-8 form of the units code units at text to out, which has room for
// Utf8LengthOfUtf16(text, units) bytes (no terminator is written); returns the bytes written.
std::size_t Utf16ToUtf8(const std::uint16_t *text, std::size_t units, char *out);

}  // namespace kivra
