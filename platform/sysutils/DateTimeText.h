#pragma once
// Date-time texts as the system shows them: the locale's short date format, a blank and the
// long time format (without a time-zone name); the time is left out at exact midnight. This is
// the one formatting unit for the logs, the grids and the views.
//
// The locale's patterns are read once (from QLocale(), the default locale) and kept compiled, so
// formatting costs no pattern parsing, no lock once a thread holds them, and, with the buffer
// form, no allocation. Thread-safe.

#include "TDateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

std::string DateTimeToStr(TDateTime value);  // short date [+ " " + long time]
std::string DateToStr(TDateTime value);      // short date only
std::string TimeToStr(TDateTime value);      // long time only

// The same texts written into buf (zero-terminated, cut to size - 1); returns the length written.
std::size_t DateTimeToBuf(TDateTime value, char *buf, std::size_t size);

// Reads the default locale's patterns again (after QLocale::setDefault in tests).
void ReloadDateTimeFormats();

// The texts of DateTimeToBuf remembered by value, for a caller that formats the same date-times
// again and again (a grid refilled at every poll: login times do not change between polls). A
// value's text is formatted once while it stays in the cache; a value that lands on the slot of
// another replaces it. ReloadDateTimeFormats empties every cache (at its next use).
// Threads: one object per thread; not shared.
class DateTimeTextCache {
public:
    // Room for about values distinct values at once; grows, never shrinks.
    void Reserve(std::size_t values);
    // The text of value (as DateTimeToBuf writes it), valid until the next call; length
    // receives its length.
    const char *Text(TDateTime value, std::size_t &length);

private:
    struct Entry {
        std::uint64_t Key;    // the value's bits
        std::uint8_t Length;  // kEmpty: no text held
        char Chars[23];
    };
    static constexpr std::uint8_t kEmpty = 0xFF;
    std::vector<Entry> Entries;
    std::uint64_t Generation = 0;  // of the formats the entries were made with
    char Long[128];                // a text too long for an entry
};

}  // namespace kivra
