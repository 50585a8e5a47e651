#include "TDateTime.h"

#include <QDateTime>

#include <cmath>
#include <mutex>

namespace kivra {
namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int &year, int &month, int &day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// 1970-01-01 as a day number of TDateTime.
const long long kUnixEpochDay = 25569;

std::mutex g_sourceLock;
std::function<TDateTime()> g_nowSource;
std::function<std::uint32_t()> g_tickSource;

}  // namespace

bool TryEncodeDateTime(const CalendarTime &t, TDateTime &result) {
    if (t.Year < 1 || t.Year > 9999 || t.Month < 1 || t.Month > 12 || t.Day < 1 ||
        t.Day > DaysInMonth(t.Year, t.Month) || t.Hour < 0 || t.Hour > 23 || t.Minute < 0 ||
        t.Minute > 59 || t.Second < 0 || t.Second > 59 || t.Millisecond < 0 || t.Millisecond > 999)
        return false;
    const long long day =
        DaysFromCivil(t.Year, static_cast<unsigned>(t.Month), static_cast<unsigned>(t.Day)) +
        kUnixEpochDay;
    const double fraction =
        ((t.Hour * 60.0 + t.Minute) * 60.0 + t.Second + t.Millisecond / 1000.0) / kSecondsPerDay;
    // Before the epoch day the fraction still counts forward within the day.
    result = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r = 0;
    CalendarTime t;
    t.Year = year;
    t.Month = month;
    t.Day = day;
    return TryEncodeDateTime(t, r) ? r : 0;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    TDateTime r = 0;
    return TryEncodeDateTime({year, month, day, hour, minute, second, ms}, r) ? r : 0;
}

CalendarTime DecodeDateTime(TDateTime value) {
    // Whole day and time of day; negative values keep the time of day as a positive fraction.
    double dayPart = std::trunc(value);
    double frac = std::fabs(value - dayPart);
    long long msOfDay = std::llround(frac * kMsPerDay);
    if (msOfDay >= static_cast<long long>(kMsPerDay)) {  // rounding reached the next day
        msOfDay = 0;
        dayPart += value >= 0 ? 1 : -1;
    }
    CalendarTime t;
    CivilFromDays(static_cast<long long>(dayPart) - kUnixEpochDay, t.Year, t.Month, t.Day);
    t.Millisecond = static_cast<int>(msOfDay % 1000);
    long long s = msOfDay / 1000;
    t.Second = static_cast<int>(s % 60);
    t.Minute = static_cast<int>((s / 60) % 60);
    t.Hour = static_cast<int>(s / 3600);
    return t;
}

TDateTime FromSystemClock(std::chrono::system_clock::time_point tp) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count();
    return static_cast<double>(kUnixEpochDay) + static_cast<double>(ms) / kMsPerDay;
}

std::chrono::system_clock::time_point ToSystemClock(TDateTime value) {
    const double ms = (value - static_cast<double>(kUnixEpochDay)) * kMsPerDay;
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(std::llround(ms)));
}

TDateTime Now() {
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        if (g_nowSource) return g_nowSource();
    }
    const QDateTime local = QDateTime::currentDateTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

void SetNowSource(std::function<TDateTime()> source) {
    std::lock_guard<std::mutex> lock(g_sourceLock);
    g_nowSource = std::move(source);
}

std::uint32_t TickCountMs() {
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        if (g_tickSource) return g_tickSource();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(ms));
}

void SetTickSource(std::function<std::uint32_t()> source) {
    std::lock_guard<std::mutex> lock(g_sourceLock);
    g_tickSource = std::move(source);
}

}  // namespace kivra
