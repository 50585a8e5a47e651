// Reading the process query into a model (ProcessResultReader) over the real ODBC stack: texts
// that fit arrive whole, texts longer than their room are cut without splitting a character.

#include "ADOConnection.h"
#include "ADODataSet.h"
#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "FixedText.h"
#include "KivraQueryTexts.h"
#include "ProcessResultReader.h"
#include "SqlSimInstances.h"
#include "TestPump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Repeat(const std::string &piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

void OpenAs(TADOConnection &c, const std::string &server, const std::string &application) {
    c.ConnectionString =
        "Provider=SQLOLEDB.1;User ID=sa;Password=Kivra-Test-1;Initial "
        "Catalog=master;Data Source=" +
        server + ";Application Name=" + application;
    c.Open();
}

int OwnSpid(TADOConnection &c) {
    TADODataSet q;
    q.Connection = &c;
    q.CommandText = kivra::kStartupQueryText;
    q.Open();
    return q.FieldByName("spid")->AsInteger();
}

const stProcessInfo *Session(TDBServerInfo &model, int spid) {
    for (int i = 0; i < model.ProcessTable->Count; ++i)
        if (model.ProcessTable->Item<stProcessInfo>(i).SPID == spid)
            return &model.ProcessTable->Item<stProcessInfo>(i);
    return nullptr;
}

// The program names of the given sessions as the query holds them, whole; the query is left on
// its first row.
std::vector<std::string> ProgramNames(TADODataSet &process, const std::vector<int> &spids) {
    std::vector<std::string> names(spids.size());
    for (process.First(); !process.Eof(); process.Next())
        for (std::size_t i = 0; i < spids.size(); ++i)
            if (process.FieldByName("spid")->AsInteger() == spids[i])
                names[i] = process.FieldByName("program_name")->AsString();
    process.First();
    return names;
}

TEST(ProcessReaderSqlsim, LongProgramNamesAreCutAtACharacterAndShortOnesArriveWhole) {
    SqlSimInstances sims(1);
    ASSERT_TRUE(sims.Started()) << sims.Error();
    const std::string server = sims.ServerName(0);
    struct Case {
        const char *what;
        std::string application;
        bool cut;
    } cases[] = {
        {"two-byte characters", "x" + Repeat("\xC3\xA9", 100), true},
        {"three-byte characters", "ab" + Repeat("\xE2\x82\xAC", 60), true},
        {"four-byte characters", "a" + Repeat("\xF0\x9F\x93\x8A", 40), true},
        {"four-byte characters that fit", "Report \xF0\x9F\x93\x8A \xC3\xA9t\xC3\xA9", false},
        {"plain, as long as the column allows", Repeat("p", 128), false},
        {"short", "Payroll batch", false},
    };
    const std::size_t n = sizeof cases / sizeof cases[0];
    std::vector<TADOConnection> clients(n);
    std::vector<int> spids;
    for (std::size_t i = 0; i < n; ++i) {
        OpenAs(clients[i], server, cases[i].application);
        spids.push_back(OwnSpid(clients[i]));
    }

    TADOConnection monitor;
    OpenAs(monitor, server, "VORNIXMonitor");
    TADODataSet process;
    process.Connection = &monitor;
    process.CommandText = kivra::ProcessQueryText();
    process.Open();
    const std::vector<std::string> whole = ProgramNames(process, spids);

    FakeKivraOwner owner;
    TDBServerInfo model;
    model.Owner = &owner;
    model.BeginPollCycle();
    EXPECT_TRUE(ReadPollCounters(process).HasRow);
    EXPECT_EQ(FeedProcessRows(process, model), static_cast<int>(process.RecordCount()));
    model.EndPollCycle();

    for (std::size_t i = 0; i < n; ++i) {
        const stProcessInfo *s = Session(model, spids[i]);
        ASSERT_NE(s, nullptr) << cases[i].what;
        // The room of the field: longer texts as the fixed-text copy cuts them.
        char room[sizeof s->ProgramName];
        kivra::CopyFixedText(room, whole[i].c_str());
        EXPECT_EQ(whole[i].size() >= sizeof room, cases[i].cut) << cases[i].what;
        EXPECT_STREQ(s->ProgramName, room) << cases[i].what;
        if (!cases[i].cut) {
            EXPECT_EQ(std::string(s->ProgramName), whole[i]) << cases[i].what;
        }
        EXPECT_STREQ(s->LoginName, "sa") << cases[i].what;
    }
    const stProcessInfo *self = Session(model, OwnSpid(monitor));
    ASSERT_NE(self, nullptr);
    EXPECT_STREQ(self->ProgramName, "VORNIXMonitor");
}

}  // namespace
