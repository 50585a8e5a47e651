#pragma once
// Date-times as the engine keeps them: days since 30 December 1899 with the time of day as the
// fraction (noon of 31 December 1899 is 1.5). Negative values count back from that day, with the
// fraction still the time of day (as -1.25: 29 December 1899, 06:00).
//
// The current time and the millisecond tick go through replaceable sources so that tests can
// run alert re-arm times and rate intervals on a clock of their own. All functions are safe to
// call from any thread; replacing a source is meant for test set-up, before threads run.

#include <chrono>
#include <cstdint>
#include <functional>

using TDateTime = double;

namespace kivra {

constexpr double kMsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

struct CalendarTime {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Calendar date and time of day → TDateTime. Invalid dates (month 13, 30 February) give false.
bool TryEncodeDateTime(const CalendarTime &t, TDateTime &result);
TDateTime EncodeDate(int year, int month, int day);  // the date at midnight; 0 for an invalid date
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int ms = 0);
CalendarTime DecodeDateTime(TDateTime value);  // rounded to the nearest millisecond

// UTC system clock ↔ TDateTime in UTC.
TDateTime FromSystemClock(std::chrono::system_clock::time_point tp);
std::chrono::system_clock::time_point ToSystemClock(TDateTime value);

// Local wall-clock time now (the framework's Now()); replaceable for tests.
TDateTime Now();
void SetNowSource(std::function<TDateTime()> source);  // empty function: back to the real clock

// Milliseconds of a monotonic clock, truncated to 32 bits (wraps after 49.7 days); replaceable.
std::uint32_t TickCountMs();
void SetTickSource(std::function<std::uint32_t()> source);

}  // namespace kivra
