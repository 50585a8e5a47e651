// The error log: entry layout, line ends, appending, and entries kept whole across threads.
#include "DateTimeText.h"
#include "EOleException.h"
#include "ErrorLog.h"
#include "TDateTime.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Runs each test in a fresh working folder, as the log is written to the working folder.
class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(Dir.path()));
        kivra::SetNowSource([] { return kivra::EncodeDateTime(2026, 3, 4, 10, 11, 12); });
    }
    void TearDown() override {
        kivra::SetNowSource({});
        QDir::setCurrent(Previous);
    }
    static std::string ReadLog() {
        std::ifstream f(TErrorLog::FileName, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    QTemporaryDir Dir;
    QString Previous;
};

std::string Date() { return kivra::DateToStr(kivra::EncodeDate(2026, 3, 4)); }

}  // namespace

TEST_F(ErrorLogTest, EntryLayouts) {
    struct Case {
        const char *what;
        std::function<void()> write;
        std::string expected;
    } cases[] = {
        {"database error: four lines",
         [] {
             TErrorLog::Write(EOleException("[FreeTDS][SQL Server]Invalid object name", "FreeTDS"));
         },
         Date() + "\r\n[FreeTDS][SQL Server]Invalid object name\r\nFreeTDS\r\n----\r\n"},
        {"other error: three lines", [] { TErrorLog::Write(std::runtime_error("bad value")); },
         Date() + "\r\nbad value\r\n----\r\n"},
        {"line ends inside a message become CR LF",
         [] { TErrorLog::WriteDatabaseError("first\nsecond\r\nthird", "src"); },
         Date() + "\r\nfirst\r\nsecond\r\nthird\r\nsrc\r\n----\r\n"},
    };
    for (const auto &c : cases) {
        std::remove(TErrorLog::FileName);
        c.write();
        EXPECT_EQ(ReadLog(), c.expected) << c.what;
    }
}

TEST_F(ErrorLogTest, CreatesThenAppendsWithTheSameDateLine) {
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName));
    TErrorLog::WriteError("one");
    TErrorLog::WriteError("two");
    EXPECT_EQ(ReadLog(), Date() + "\r\none\r\n----\r\n" + Date() + "\r\ntwo\r\n----\r\n");
    EXPECT_EQ(ReadLog().find(':'), std::string::npos) << "the date line holds no time of day";
}

TEST_F(ErrorLogTest, UnwritableLogLosesTheEntryQuietly) {
    ASSERT_TRUE(QDir().mkdir(TErrorLog::FileName));  // a folder where the file should be
    EXPECT_NO_THROW(TErrorLog::WriteError("lost"));
}

TEST_F(ErrorLogTest, EntriesFromManyThreadsNeverInterleave) {
    constexpr int kThreads = 8, kEntries = 40;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            const std::string body(300, static_cast<char>('a' + t));
            for (int i = 0; i < kEntries; ++i)
                TErrorLog::WriteDatabaseError(body, "source" + std::to_string(t));
        });
    for (auto &w : writers) w.join();
    std::istringstream in(ReadLog());
    std::string date, message, source, end;
    int entries = 0;
    while (std::getline(in, date)) {
        ASSERT_TRUE(std::getline(in, message) && std::getline(in, source) && std::getline(in, end));
        ASSERT_EQ(date, Date() + "\r");
        ASSERT_EQ(message.size(), 301u);
        const char letter = message[0];
        EXPECT_EQ(message, std::string(300, letter) + "\r");
        EXPECT_EQ(source, "source" + std::to_string(letter - 'a') + "\r");
        EXPECT_EQ(end, "----\r");
        ++entries;
    }
    EXPECT_EQ(entries, kThreads * kEntries);
}
