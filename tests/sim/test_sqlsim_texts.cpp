// The monitor's SQL texts as sqlsim knows them: the shape the monitor sends them in, and the
// normalised form in which they are matched.

#include "SimSqlTexts.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find("\r\n", from);
        out.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return out;
        from = at + 2;
    }
}

TEST(SimSqlTexts, ShapesOfTheMultiLineBatches) {
    const struct {
        const char *label;
        std::string text;
        size_t lines;
        std::set<size_t> endingInBlank;  // 1-based
    } cases[] = {
        {"process query", SimSqlTexts::ProcessQuery(), 33, {}},
        {"statement batch", SimSqlTexts::StatementBatch(77), 59, {22, 23, 43, 47, 48, 49, 53}},
        {"kill batch", SimSqlTexts::KillBatch(77), 17, {}},
        {"input buffer", SimSqlTexts::InputBuffer(77), 3, {}},
        {"statement-text probe", SimSqlTexts::StatementTextProbe(), 4, {1, 2, 3}},
    };
    for (const auto &k : cases) {
        const std::vector<std::string> lines = Lines(k.text);
        ASSERT_EQ(lines.size(), k.lines) << k.label;
        for (size_t at = k.text.find('\n'); at != std::string::npos; at = k.text.find('\n', at + 1))
            EXPECT_TRUE(at > 0 && k.text[at - 1] == '\r') << k.label << ": bare line feed";
        EXPECT_NE(k.text.back(), '\n') << k.label;
        for (size_t i = 0; i < lines.size(); ++i) {
            const bool blank = !lines[i].empty() && lines[i].back() == ' ';
            EXPECT_EQ(blank, k.endingInBlank.count(i + 1) == 1) << k.label << " line " << i + 1;
        }
    }
    // The process query's exact text is pinned once, by the monitor's own tests, which also check
    // that sqlsim's is the same.
}

TEST(SimSqlTexts, SessionIdsAreWrittenPlainEverywhere) {
    const struct {
        std::string text;
        size_t occurrences;
    } cases[] = {
        {SimSqlTexts::StatementBatch(4321), 2},
        {SimSqlTexts::KillBatch(4321), 4},
        {SimSqlTexts::InputBuffer(4321), 1},
    };
    for (const auto &k : cases) {
        size_t n = 0;
        for (size_t at = k.text.find("4321"); at != std::string::npos;
             at = k.text.find("4321", at + 1))
            ++n;
        EXPECT_EQ(n, k.occurrences) << k.text.substr(0, 40);
    }
    const std::string quoted = SimSqlTexts::StatementBatch(5, true);
    EXPECT_NE(quoted.find("'use ' + quotename(@DatabaseName)"), std::string::npos);
    EXPECT_EQ(SimSqlTexts::StatementBatch(5).find("quotename"), std::string::npos);
}

TEST(SimSqlTexts, NormaliseFoldsSpaceAndCase) {
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"SELECT 1", "select 1"}, {"  select\r\n\t 1  ", "select 1"},
        {"a\t\tb\r\nc", "a b c"}, {"", ""},
        {" \r\n\t ", ""},         {"'<No SQL Found>'", "'<no sql found>'"},
    };
    for (const auto &k : cases) EXPECT_EQ(SimSqlTexts::Normalise(k.in), k.out) << k.in;
}

}  // namespace
