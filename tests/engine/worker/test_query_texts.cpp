// The texts a worker sends: their exact shape, and the connection string it builds.
#include "KivraQueryTexts.h"
#include "OleDbConnectionString.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kivra;

namespace {

std::vector<std::string> SplitCrLf(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", start);
        lines.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

}  // namespace

TEST(QueryTexts, ProcessQueryShape) {
    const std::string &q = ProcessQueryText();
    EXPECT_EQ(q.size(), 1412u);
    const auto lines = SplitCrLf(q);
    ASSERT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines.front(), "SELECT spid as spid,");
    EXPECT_EQ(lines.back(), "FROM dbo.sysprocesses AS sysprocesses");
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, 4), "\t   ") << "line " << i + 1;
        EXPECT_NE(lines[i][4], ' ') << "line " << i + 1;
    }
    EXPECT_EQ(lines[13], "\t   login_time  AS login_time,");
    EXPECT_EQ(q.find('\n'), q.find("\r\n") + 1) << "every line end is CR LF";
    EXPECT_NE(q.back(), '\n');
}

TEST(QueryTexts, BatchShapes) {
    struct Case {
        const char *name;
        std::string text;
        std::size_t lines;
        std::vector<std::size_t> trailingBlank;  // 1-based
    } cases[] = {
        {"input buffer", InputBufferBatch(57), 3, {}},
        {"statement", StatementBatch(57), 59, {22, 23, 43, 47, 48, 49, 53}},
        {"kill", KillBatch(57), 17, {}},
    };
    for (const auto &c : cases) {
        const auto lines = SplitCrLf(c.text);
        ASSERT_EQ(lines.size(), c.lines) << c.name;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool blank = !lines[i].empty() && lines[i].back() == ' ';
            const bool expected = std::find(c.trailingBlank.begin(), c.trailingBlank.end(),
                                            i + 1) != c.trailingBlank.end();
            EXPECT_EQ(blank, expected) << c.name << " line " << i + 1 << ": " << lines[i];
        }
    }
}

TEST(QueryTexts, SessionIdIsWrittenInDecimal) {
    EXPECT_EQ(SplitCrLf(InputBufferBatch(7))[0], "DBCC INPUTBUFFER (7)");
    const auto st = SplitCrLf(StatementBatch(123));
    EXPECT_EQ(st[8], "from sysprocesses where spid = 123  and ecid = 0");
    EXPECT_EQ(st[28], "'where spid = 123' + char(13) + char(10) +");
    EXPECT_EQ(st[23], "set @sql = @sql + 'use ' + quotename(@DatabaseName) + char(13) + char(10)");
    const auto kill = SplitCrLf(KillBatch(1001));
    EXPECT_EQ(kill[1], "if @@spid = 1001");
    EXPECT_EQ(kill[4], "\t\t\t\t\t then 'Y'");
    EXPECT_EQ(kill[8], "\t\t where spid = 1001) = 'Y'");
    EXPECT_EQ(kill[12], "\tif exists(select 1 from sysprocesses where spid = 1001)");
    EXPECT_EQ(kill[13], "\t\tkill 1001");
}

TEST(QueryTexts, StatementProbeLines) {
    const auto lines = SplitCrLf(kStatementProbeText);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "select count(*) as counter ");
    EXPECT_EQ(lines[3], " and object_name(id) = 'sysprocesses'");
}

TEST(QueryTexts, ConnectionStringOfPlainValuesIsTheClassicText) {
    EXPECT_EQ(BuildConnectionString("db1", true, "ignored", "ignored"),
              "Provider=SQLOLEDB.1;Persist Security Info=False;Integrated Security=SSPI"
              ";Initial Catalog=master;Data Source=db1;Application Name=VORNIXMonitor");
    EXPECT_EQ(BuildConnectionString("db1\\INST", false, "sa", "secret"),
              "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=secret"
              ";Initial Catalog=master;Data Source=db1\\INST;Application Name=VORNIXMonitor");
}

TEST(QueryTexts, ConnectionStringKeepsAwkwardCredentialsIntact) {
    for (const char *pw : {"a;b", "x}y", "k=v", "q\"uote", "it's", ";Initial Catalog=tempdb"}) {
        const auto kw = ParseOleDbConnectionString(BuildConnectionString("h,1", false, "u;v", pw));
        EXPECT_EQ(KeywordValue(kw, "Password"), pw);
        EXPECT_EQ(KeywordValue(kw, "User ID"), "u;v");
        EXPECT_EQ(KeywordValue(kw, "Initial Catalog"), "master");
        EXPECT_EQ(KeywordValue(kw, "Data Source"), "h,1");
    }
}
