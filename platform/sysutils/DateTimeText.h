#pragma once
// Date-time texts as the system shows them: the locale's short date format, a blank and the
// long time format (without a time-zone name); the time is left out at exact midnight. This is
// the one formatting unit for the logs, the grids and the views.
//
// The locale's patterns are read once (from QLocale(), the default locale) and kept compiled, so
// formatting costs no pattern parsing and, with the buffer form, no allocation. Thread-safe.

#include "TDateTime.h"

#include <cstddef>
#include <string>

namespace kivra {

std::string DateTimeToStr(TDateTime value);  // short date [+ " " + long time]
std::string DateToStr(TDateTime value);      // short date only
std::string TimeToStr(TDateTime value);      // long time only

// The same texts written into buf (zero-terminated, cut to size - 1); returns the length written.
std::size_t DateTimeToBuf(TDateTime value, char *buf, std::size_t size);

// Reads the default locale's patterns again (after QLocale::setDefault in tests).
void ReloadDateTimeFormats();

}  // namespace kivra
