#include "DateTimeText.h"
#include "MessageBoxHook.h"
#include "TDateTime.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <vector>

#include <ostream>

using namespace kivra;

struct DateCase {
    int y, m, d, hh, mm, ss, ms;
    double expected;
};

void PrintTo(const DateCase &c, std::ostream *os) {
    *os << c.y << "-" << c.m << "-" << c.d << " " << c.hh << ":" << c.mm << ":" << c.ss << "."
        << c.ms;
}

class EncodeDecode : public ::testing::TestWithParam<DateCase> {};

TEST_P(EncodeDecode, RoundTrips) {
    const DateCase c = GetParam();
    const TDateTime v = EncodeDateTime(c.y, c.m, c.d, c.hh, c.mm, c.ss, c.ms);
    EXPECT_DOUBLE_EQ(v, c.expected);
    const CalendarTime t = DecodeDateTime(v);
    EXPECT_EQ(t.Year, c.y);
    EXPECT_EQ(t.Month, c.m);
    EXPECT_EQ(t.Day, c.d);
    EXPECT_EQ(t.Hour, c.hh);
    EXPECT_EQ(t.Minute, c.mm);
    EXPECT_EQ(t.Second, c.ss);
    EXPECT_EQ(t.Millisecond, c.ms);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, EncodeDecode,
    ::testing::Values(DateCase{1899, 12, 30, 0, 0, 0, 0, 0.0},  // the epoch
                      DateCase{1899, 12, 31, 12, 0, 0, 0, 1.5},
                      DateCase{1900, 1, 1, 0, 0, 0, 0, 2.0},  // 1 January 1900
                      DateCase{1899, 12, 29, 6, 0, 0, 0,
                               -1.25},  // before the epoch: fraction still forward
                      DateCase{2000, 2, 29, 0, 0, 0, 0, 36585.0},    // a leap day of a 400-year
                      DateCase{2024, 2, 29, 18, 0, 0, 0, 45351.75},  // a leap day
                      DateCase{2024, 3, 1, 0, 0, 0, 0, 45352.0},     // the day after
                      DateCase{2026, 12, 10, 23, 59, 59, 999, 46366.0 + 86399999.0 / 86400000.0}));

TEST(EncodeDate, RejectsInvalidDates) {
    TDateTime v = 7;
    EXPECT_FALSE(TryEncodeDateTime({1900, 2, 29, 0, 0, 0, 0}, v));  // 1900 is no leap year
    EXPECT_FALSE(TryEncodeDateTime({2023, 13, 1, 0, 0, 0, 0}, v));
    EXPECT_FALSE(TryEncodeDateTime({2023, 4, 31, 0, 0, 0, 0}, v));
    EXPECT_FALSE(TryEncodeDateTime({2023, 4, 1, 24, 0, 0, 0}, v));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(EncodeDate(2023, 2, 29), 0);
}

TEST(SystemClock, RoundTripsThroughUnixTime) {
    const auto epoch = std::chrono::system_clock::time_point{};
    EXPECT_DOUBLE_EQ(FromSystemClock(epoch), 25569.0);  // 1 January 1970
    const TDateTime v = EncodeDateTime(2026, 12, 10, 8, 15, 20, 250);
    EXPECT_NEAR(FromSystemClock(ToSystemClock(v)), v, 1e-9);
}

TEST(Sources, NowAndTickAreReplaceable) {
    SetNowSource([] { return 1234.5; });
    SetTickSource([] { return 0xFFFFFFF0u; });
    EXPECT_EQ(Now(), 1234.5);
    EXPECT_EQ(TickCountMs(), 0xFFFFFFF0u);
    SetNowSource({});
    SetTickSource({});
    EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
    const std::uint32_t a = TickCountMs(), b = TickCountMs();
    EXPECT_LE(static_cast<std::uint32_t>(b - a), 1000u);
}

class DateTimeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        ReloadDateTimeFormats();
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::system());
        ReloadDateTimeFormats();
    }
};

TEST_F(DateTimeTextTest, ShortDateAndLongTimeWithoutZone) {
    const TDateTime v = EncodeDateTime(2024, 2, 29, 18, 4, 5);
    EXPECT_EQ(DateTimeToStr(v), "29/02/2024 18:04:05");
    EXPECT_EQ(DateToStr(v), "29/02/2024");
    EXPECT_EQ(TimeToStr(v), "18:04:05");
}

TEST_F(DateTimeTextTest, MidnightLeavesTheTimeOut) {
    EXPECT_EQ(DateTimeToStr(EncodeDate(1900, 1, 1)), "01/01/1900");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(1900, 1, 1, 0, 0, 1)), "01/01/1900 00:00:01");
}

TEST_F(DateTimeTextTest, BufferFormIsCutAndTerminated) {
    char buf[6];
    const std::size_t n = DateTimeToBuf(EncodeDateTime(2024, 2, 29, 18, 4, 5), buf, sizeof buf);
    EXPECT_EQ(n, 5u);
    EXPECT_STREQ(buf, "29/02");
}

TEST_F(DateTimeTextTest, CacheGivesTheFormattedTextsAndFollowsAReload) {
    DateTimeTextCache cache;
    cache.Reserve(4);  // far fewer slots than values: values replace each other
    std::vector<TDateTime> values;
    for (int i = 0; i < 300; ++i)
        values.push_back(EncodeDateTime(2024, 2, 29, i % 24, i % 60, i % 7) + i);
    values.push_back(EncodeDate(1900, 1, 1));  // midnight: date only
    for (int round = 0; round < 2; ++round) {
        for (TDateTime v : values) {
            std::size_t length = 0;
            const char *text = cache.Text(v, length);
            ASSERT_EQ(std::string(text, length), DateTimeToStr(v)) << round;
            ASSERT_EQ(text[length], '\0');
        }
    }
    const TDateTime v = EncodeDateTime(2024, 2, 9, 18, 4, 5);
    std::size_t length = 0;
    EXPECT_EQ(std::string(cache.Text(v, length)), "09/02/2024 18:04:05");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ReloadDateTimeFormats();
    EXPECT_EQ(std::string(cache.Text(v, length)), "2/9/24 6:04:05 PM")
        << "a reload empties the cache";
    EXPECT_EQ(length, 17u);
}

TEST(DateTimeTextUs, TwelveHourClock) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ReloadDateTimeFormats();
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 2, 9, 18, 4, 5)), "2/9/24 6:04:05 PM");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 2, 9, 0, 30, 0)), "2/9/24 12:30:00 AM");
    QLocale::setDefault(QLocale::system());
    ReloadDateTimeFormats();
}

TEST(MessageBox, HandlerSeesTextCaptionAndFlagsAndAnswers) {
    std::string seen;
    auto old = SetMessageBoxHandler([&](const std::string &t, const std::string &c, unsigned f) {
        seen = c + "|" + t + "|" + std::to_string(f);
        return IDNO;
    });
    EXPECT_EQ(ApplicationMessageBox("Do you really want to kill process 55?",
                                    "Kill Process Confirm", MB_YESNO | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(seen, "Kill Process Confirm|Do you really want to kill process 55?|36");
    SetMessageBoxHandler(old);
    EXPECT_EQ(ApplicationMessageBox("x", "y", MB_YESNO), IDYES);  // default answer, no handler
}
