#include "DateTimeText.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace kivra {
namespace {

enum class Tok {
    Literal,
    Day1,
    Day2,
    DayShort,
    DayLong,
    Mon1,
    Mon2,
    MonShort,
    MonLong,
    Year2,
    Year4,
    Hour1,
    Hour2,
    Hour12_1,
    Hour12_2,
    Min1,
    Min2,
    Sec1,
    Sec2,
    Ms,
    AmPmUpper,
    AmPmLower
};

struct Token {
    Tok Kind;
    std::string Text;  // the literal
};

struct Formats {
    std::vector<Token> Date, Time;
    std::string MonthShort[12], MonthLong[12], DayShort[7], DayLong[7], Am, Pm;
};

// Qt's date-time pattern language (the subset locales use) into tokens. Time-zone letters are
// dropped with the blank before them: the long time text carries no zone.
std::vector<Token> Compile(const QString &pattern) {
    std::vector<Token> out;
    auto literal = [&out](const std::string &s) {
        if (s.empty()) return;
        if (!out.empty() && out.back().Kind == Tok::Literal)
            out.back().Text += s;
        else
            out.push_back({Tok::Literal, s});
    };
    const int n = static_cast<int>(pattern.size());
    for (int i = 0; i < n;) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            int j = i + 1;
            std::string lit;
            while (j < n) {
                if (pattern[j] == QLatin1Char('\'')) {
                    if (j + 1 < n && pattern[j + 1] == QLatin1Char('\'')) {
                        lit += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                lit += QString(pattern[j]).toStdString();
                ++j;
            }
            if (j == i + 1 && j < n) lit = "'";
            literal(lit);
            i = j + 1;
            continue;
        }
        int run = 1;
        while (i + run < n && pattern[i + run] == c) ++run;
        const char ch = c.toLatin1();
        switch (ch) {
        case 'd':
            out.push_back({run == 1   ? Tok::Day1
                           : run == 2 ? Tok::Day2
                           : run == 3 ? Tok::DayShort
                                      : Tok::DayLong,
                           {}});
            break;
        case 'M':
            out.push_back({run == 1   ? Tok::Mon1
                           : run == 2 ? Tok::Mon2
                           : run == 3 ? Tok::MonShort
                                      : Tok::MonLong,
                           {}});
            break;
        case 'y': out.push_back({run >= 3 ? Tok::Year4 : Tok::Year2, {}}); break;
        case 'H': out.push_back({run == 1 ? Tok::Hour1 : Tok::Hour2, {}}); break;
        case 'h': out.push_back({run == 1 ? Tok::Hour12_1 : Tok::Hour12_2, {}}); break;
        case 'm': out.push_back({run == 1 ? Tok::Min1 : Tok::Min2, {}}); break;
        case 's': out.push_back({run == 1 ? Tok::Sec1 : Tok::Sec2, {}}); break;
        case 'z': out.push_back({Tok::Ms, {}}); break;
        case 't':
            while (!out.empty() && out.back().Kind == Tok::Literal && !out.back().Text.empty() &&
                   out.back().Text.back() == ' ') {
                out.back().Text.pop_back();
                if (out.back().Text.empty()) out.pop_back();
            }
            break;
        case 'A':
        case 'a':
            if (i + 1 < n &&
                (pattern[i + 1] == QLatin1Char('P') || pattern[i + 1] == QLatin1Char('p'))) {
                out.push_back({ch == 'A' ? Tok::AmPmUpper : Tok::AmPmLower, {}});
                run = 2;
            } else {
                literal(std::string(static_cast<std::size_t>(run), ch));
            }
            break;
        default: literal(QString(run, c).toStdString()); break;
        }
        i += run;
    }
    return out;
}

std::shared_ptr<const Formats> Load() {
    auto f = std::make_shared<Formats>();
    const QLocale loc;
    f->Date = Compile(loc.dateFormat(QLocale::ShortFormat));
    f->Time = Compile(loc.timeFormat(QLocale::LongFormat));
    for (int m = 0; m < 12; ++m) {
        f->MonthShort[m] = loc.monthName(m + 1, QLocale::ShortFormat).toStdString();
        f->MonthLong[m] = loc.monthName(m + 1, QLocale::LongFormat).toStdString();
    }
    for (int d = 0; d < 7; ++d) {
        f->DayShort[d] = loc.dayName(d + 1, QLocale::ShortFormat).toStdString();
        f->DayLong[d] = loc.dayName(d + 1, QLocale::LongFormat).toStdString();
    }
    f->Am = loc.amText().toStdString();
    f->Pm = loc.pmText().toStdString();
    return f;
}

std::mutex g_lock;
std::shared_ptr<const Formats> g_formats;
// Raised after every change of g_formats; a thread keeps the formats it took until it changes.
std::atomic<std::uint64_t> g_generation{1};

// The formats as of now, without the lock once this thread holds the current ones.
const Formats &Current() {
    thread_local std::shared_ptr<const Formats> held;
    thread_local std::uint64_t heldGeneration = 0;
    const std::uint64_t generation = g_generation.load(std::memory_order_acquire);
    if (!held || heldGeneration != generation) {
        std::lock_guard<std::mutex> lock(g_lock);
        if (!g_formats) g_formats = Load();
        held = g_formats;
        heldGeneration = g_generation.load(std::memory_order_relaxed);
    }
    return *held;
}

// Appends to a bounded buffer; keeps the text zero-terminated.
struct Out {
    char *Buf;
    std::size_t Size, Len = 0;
    void put(const char *s, std::size_t n) {
        if (Size == 0) return;
        const std::size_t room = Size - 1 - Len;
        const std::size_t k = std::min(n, room);
        std::memcpy(Buf + Len, s, k);
        Len += k;
        Buf[Len] = 0;
    }
    void put(const std::string &s) { put(s.data(), s.size()); }
    void num(int v, int width) {
        char tmp[16];
        int n = 0;
        unsigned u = static_cast<unsigned>(v < 0 ? -v : v);
        do {
            tmp[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u);
        while (n < width) tmp[n++] = '0';
        if (v < 0) tmp[n++] = '-';
        std::reverse(tmp, tmp + n);
        put(tmp, static_cast<std::size_t>(n));
    }
};

// Day of week 1 (Monday) to 7 (Sunday); TDateTime day 2 (1 January 1900) was a Monday.
int DayOfWeek(TDateTime v) {
    long long d = static_cast<long long>(std::floor(v));
    long long w = ((d - 2) % 7 + 7) % 7;
    return static_cast<int>(w) + 1;
}

void Render(const std::vector<Token> &toks, const Formats &f, const CalendarTime &t, TDateTime v,
            Out &o) {
    for (const Token &k : toks) {
        const int h12 = t.Hour % 12 == 0 ? 12 : t.Hour % 12;
        switch (k.Kind) {
        case Tok::Literal: o.put(k.Text); break;
        case Tok::Day1: o.num(t.Day, 1); break;
        case Tok::Day2: o.num(t.Day, 2); break;
        case Tok::DayShort: o.put(f.DayShort[DayOfWeek(v) - 1]); break;
        case Tok::DayLong: o.put(f.DayLong[DayOfWeek(v) - 1]); break;
        case Tok::Mon1: o.num(t.Month, 1); break;
        case Tok::Mon2: o.num(t.Month, 2); break;
        case Tok::MonShort: o.put(f.MonthShort[t.Month - 1]); break;
        case Tok::MonLong: o.put(f.MonthLong[t.Month - 1]); break;
        case Tok::Year2: o.num(t.Year % 100, 2); break;
        case Tok::Year4: o.num(t.Year, 4); break;
        case Tok::Hour1: o.num(t.Hour, 1); break;
        case Tok::Hour2: o.num(t.Hour, 2); break;
        case Tok::Hour12_1: o.num(h12, 1); break;
        case Tok::Hour12_2: o.num(h12, 2); break;
        case Tok::Min1: o.num(t.Minute, 1); break;
        case Tok::Min2: o.num(t.Minute, 2); break;
        case Tok::Sec1: o.num(t.Second, 1); break;
        case Tok::Sec2: o.num(t.Second, 2); break;
        case Tok::Ms: o.num(t.Millisecond, 3); break;
        case Tok::AmPmUpper:
        case Tok::AmPmLower: {
            std::string s = t.Hour < 12 ? f.Am : f.Pm;
            if (k.Kind == Tok::AmPmLower)
                for (char &c : s)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            else
                for (char &c : s)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            o.put(s);
            break;
        }
        }
    }
}

enum Parts { kDate = 1, kTime = 2 };

std::size_t Format(TDateTime v, int parts, char *buf, std::size_t size) {
    if (size) buf[0] = 0;
    const Formats &f = Current();
    const CalendarTime t = DecodeDateTime(v);
    Out o{buf, size};
    const bool midnight = t.Hour == 0 && t.Minute == 0 && t.Second == 0 && t.Millisecond == 0;
    if (parts & kDate) Render(f.Date, f, t, v, o);
    if ((parts & kTime) && !(parts == (kDate | kTime) && midnight)) {
        if (parts & kDate) o.put(" ", 1);
        Render(f.Time, f, t, v, o);
    }
    return o.Len;
}

std::string FormatString(TDateTime v, int parts) {
    char buf[128];
    const std::size_t n = Format(v, parts, buf, sizeof buf);
    return std::string(buf, n);
}

}  // namespace

std::string DateTimeToStr(TDateTime value) { return FormatString(value, kDate | kTime); }
std::string DateToStr(TDateTime value) { return FormatString(value, kDate); }
std::string TimeToStr(TDateTime value) { return FormatString(value, kTime); }

std::size_t DateTimeToBuf(TDateTime value, char *buf, std::size_t size) {
    return Format(value, kDate | kTime, buf, size);
}

void ReloadDateTimeFormats() {
    auto f = Load();
    std::lock_guard<std::mutex> lock(g_lock);
    g_formats = std::move(f);
    g_generation.fetch_add(1, std::memory_order_release);
}

void DateTimeTextCache::Reserve(std::size_t values) {
    std::size_t capacity = 64;
    while (capacity < 2 * values && capacity < (std::size_t{1} << 20)) capacity *= 2;
    if (Entries.size() >= capacity) return;
    Entries.assign(capacity, Entry{0, kEmpty, {}});  // a new size places every value anew
}

const char *DateTimeTextCache::Text(TDateTime value, std::size_t &length) {
    const std::uint64_t generation = g_generation.load(std::memory_order_acquire);
    if (generation != Generation) {
        for (Entry &e : Entries) e.Length = kEmpty;
        Generation = generation;
    }
    if (Entries.empty()) Reserve(32);
    std::uint64_t key;
    std::memcpy(&key, &value, sizeof key);
    const std::uint64_t h = key * 0x9E3779B97F4A7C15ULL;
    // Two ways: a value lives in the first or the second entry of its pair.
    const std::size_t at = static_cast<std::size_t>(h ^ (h >> 29)) & (Entries.size() - 2);
    for (std::size_t way = 0; way < 2; ++way) {
        const Entry &e = Entries[at + way];
        if (e.Length != kEmpty && e.Key == key) {
            length = e.Length;
            return e.Chars;
        }
    }
    length = DateTimeToBuf(value, Long, sizeof Long);
    if (length >= sizeof Entries[at].Chars) return Long;  // too long to keep: formatted every time
    Entries[at + 1] = Entries[at];                        // the older text of the pair goes
    Entry &e = Entries[at];
    e.Key = key;
    e.Length = static_cast<std::uint8_t>(length);
    std::memcpy(e.Chars, Long, length + 1);
    return e.Chars;
}

}  // namespace kivra
