// The statistics log and the sessions log, written into a temporary folder.

#include "DateTimeText.h"
#include "ModelFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char *const kStatisticsHeader =
    "Timestamp\tCPU\tResponse\tUsers\tSessions\tNetworkSent\tNetworkReceived\tNetworkErrored\t"
    "DiskRead\tDiskWrite\tDiskError\r\n";
const char *const kSessionsHeader =
    "Timestamp\tAction\tSPID\tLoginName\tHostName\tProgramName\tDatabase\tNetAddress\tNetLibrary\t"
    "LoginTime\tCPUUsage\tMemUsage\tPhysicalIO\r\n";

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string &path) { return QFile::exists(QString::fromStdString(path)); }

// Lines of a file split at CR LF, the line ends dropped; a bare LF fails the test.
std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    for (const std::string &line : lines) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    return lines;
}

class Logs : public ModelFixture {
protected:
    void SetUp() override {
        ModelFixture::SetUp();
        ASSERT_TRUE(Dir.isValid());
        Folder = Dir.path().toStdString();
        Owner.Logs.Logging = true;
        Owner.Logs.LoggingDirectory = Folder;
        NowValue = kivra::EncodeDateTime(2026, 12, 10, 9, 15, 30);
    }

    std::string StatsPath() const { return Folder + "/ALPHA.log"; }
    std::string SessionsPath() const { return Folder + "/ALPHA_sessions.log"; }
    int FilesInFolder() const {
        const auto filter = QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;
        return static_cast<int>(QDir(Dir.path()).entryList(filter).size());
    }

    static stProcessInfo Session(int spid, const char *login, TDateTime loginTime) {
        stProcessInfo r;
        std::memset(&r, 0, sizeof r);
        r.SPID = spid;
        std::strcpy(r.LoginName, login);
        std::strcpy(r.HostName, "WS-17");
        std::strcpy(r.ProgramName, "Report Builder");
        std::strcpy(r.DatabaseName, "sales");
        std::strcpy(r.NetAddress, "0A1B2C3D4E5F");
        std::strcpy(r.NetLibrary, "TCP/IP");
        r.LoginTime = loginTime;
        r.PrevCPU = 1234;
        r.PrevMemUsage = 56;
        r.PrevPhysicalIO = -7;
        r.CPU = 99999;  // the current poll's values are not the ones logged
        return r;
    }

    QTemporaryDir Dir;
    std::string Folder;
    PollCounters Counters{0, 0, 0, 0, 0, 0, 0, 1000, 1000};
};

TEST_F(Logs, StatisticsRowsAtPolls246WithRefreshCount1) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.RefreshCount = 1;
    for (int poll = 1; poll <= 6; ++poll) {
        Counters.Response = poll;
        Poll(Counters);
        if (poll == 1) {
            EXPECT_FALSE(Exists(StatsPath()));
        }
    }
    const std::vector<std::string> lines = Lines(ReadFile(StatsPath()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0] + "\r\n", kStatisticsHeader);
    const std::string stamp = kivra::DateTimeToStr(NowValue);
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(lines[row],
                  stamp + "\t100\t" + std::to_string(2 * row) + "\t0\t0\t0\t0\t0\t0\t0\t0")
            << "row " << row;
}

TEST_F(Logs, StatisticsRowCarriesEveryColumnOfTheCurrentSample) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters);
    Counters.Busy += 30;
    Counters.Idle += 90;
    Counters.Response = 12;
    Counters.Sent += 1000;
    Counters.Received += 2000;
    Counters.PacketErrors += 3000;
    Counters.Read += 4000;
    Counters.Write += 5000;
    Counters.IOErrors -= 6000;
    Poll(Counters, 1000,
         {{51, "alice", kivra::EncodeDateTime(2026, 12, 9, 7, 0, 0)},
          {52, "bob", kivra::EncodeDateTime(2026, 12, 9, 7, 5, 0)}});
    const std::vector<std::string> lines = Lines(ReadFile(StatsPath()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], kivra::DateTimeToStr(NowValue) +
                            "\t25\t12\t2\t2\t1000\t2000\t3000\t4000\t5000\t-6000");
}

struct SpacingCase {
    int refreshCount;
    std::vector<int> rowPolls;  // polls 1..9 that write a row
};

class StatisticsSpacing : public Logs, public ::testing::WithParamInterface<SpacingCase> {};

TEST_P(StatisticsSpacing, RowAtEveryNPlusOnethPoll) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.RefreshCount = GetParam().refreshCount;
    std::vector<int> rowPolls;
    std::size_t lines = 0;
    for (int poll = 1; poll <= 9; ++poll) {
        Poll(Counters);
        const std::size_t now = Exists(StatsPath()) ? Lines(ReadFile(StatsPath())).size() : 0;
        if (now > lines) rowPolls.push_back(poll);
        lines = now;
    }
    EXPECT_EQ(rowPolls, GetParam().rowPolls);
}

INSTANTIATE_TEST_SUITE_P(Cases, StatisticsSpacing,
                         ::testing::Values(SpacingCase{0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
                                           SpacingCase{1, {2, 4, 6, 8}}, SpacingCase{2, {3, 6, 9}},
                                           SpacingCase{-3, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
                                           SpacingCase{20, {}}));

TEST_F(Logs, StatisticsCounterHoldsWhileTheLogIsOff) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.RefreshCount = 2;
    Poll(Counters);
    Poll(Counters);
    EXPECT_EQ(Model->StatsLogCounter, 2);
    Owner.Logs.ServerLogging = false;
    Poll(Counters);
    Poll(Counters);
    EXPECT_EQ(Model->StatsLogCounter, 2);
    EXPECT_FALSE(Exists(StatsPath()));
    Owner.Logs.ServerLogging = true;  // read live: the next poll writes the due row
    Poll(Counters);
    EXPECT_TRUE(Exists(StatsPath()));
    EXPECT_EQ(Model->StatsLogCounter, 0);
}

// The file name: the folder with one "/" between it and the name, "\" and "/" in the server name
// made "_", nothing else changed.
struct FileNameCase {
    const char *serverName;
    bool trailingSeparator;
    const char *statsFile;
    const char *sessionsFile;
};

class LogFileName : public Logs, public ::testing::WithParamInterface<FileNameCase> {};

TEST_P(LogFileName, IsBuiltInsideTheFolder) {
    const FileNameCase &p = GetParam();
    Model->ServerName = p.serverName;
    Owner.Logs.LoggingDirectory = Folder + (p.trailingSeparator ? "/" : "");
    Owner.Logs.ServerLogging = true;
    Owner.Logs.SessionLogging = true;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters);
    Model->LogSessionEvent(Session(51, "alice", NowValue), true);
    EXPECT_TRUE(Exists(Folder + "/" + p.statsFile));
    EXPECT_TRUE(Exists(Folder + "/" + p.sessionsFile));
    EXPECT_EQ(FilesInFolder(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogFileName,
    ::testing::Values(FileNameCase{"ALPHA", false, "ALPHA.log", "ALPHA_sessions.log"},
                      FileNameCase{"ALPHA", true, "ALPHA.log", "ALPHA_sessions.log"},
                      FileNameCase{"host\\inst", false, "host_inst.log", "host_inst_sessions.log"},
                      FileNameCase{"host\\inst", true, "host_inst.log", "host_inst_sessions.log"},
                      FileNameCase{"../up/and\\out", false, ".._up_and_out.log",
                                   ".._up_and_out_sessions.log"},
                      FileNameCase{"db.example.com,1433", false, "db.example.com,1433.log",
                                   "db.example.com,1433_sessions.log"}));

TEST_F(Logs, ServersDifferingOnlyBySeparatorShareAFile) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.RefreshCount = 0;
    Model->ServerName = "host\\inst";
    Poll(Counters);
    TDBServerInfo other;
    other.Owner = &Owner;
    other.ServerName = "host_inst";
    other.BeginPollCycle();
    other.EndPollCycle();
    other.UpdateStatistics(0, 0, 0, 0, 0, 0, 0, 1, 1, NowValue);
    EXPECT_EQ(Lines(ReadFile(Folder + "/host_inst.log")).size(), 3u);
}

TEST_F(Logs, ExistingFileGetsNoSecondHeader) {
    Owner.Logs.ServerLogging = true;
    Owner.Logs.SessionLogging = true;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters);
    Poll(Counters);
    Model->LogSessionEvent(Session(51, "alice", NowValue), true);
    Model->LogSessionEvent(Session(51, "alice", NowValue), false);

    TDBServerInfo later;  // a new model for the same server, as after a reconnect from the menu
    later.Owner = &Owner;
    later.ServerName = "ALPHA";
    later.BeginPollCycle();
    later.EndPollCycle();
    later.UpdateStatistics(0, 0, 0, 0, 0, 0, 0, 1, 1, NowValue);
    later.LogSessionEvent(Session(52, "bob", NowValue), true);

    const std::string stats = ReadFile(StatsPath());
    const std::string sessions = ReadFile(SessionsPath());
    EXPECT_EQ(Lines(stats).size(), 4u);
    EXPECT_EQ(Lines(sessions).size(), 4u);
    EXPECT_EQ(stats.rfind("Timestamp", std::string::npos), 0u);
    EXPECT_EQ(sessions.rfind("Timestamp", std::string::npos), 0u);
}

TEST_F(Logs, FileMadeByHandGetsRowsButNoHeader) {
    { std::ofstream(SessionsPath(), std::ios::binary) << "kept\r\n"; }
    Owner.Logs.SessionLogging = true;
    Model->LogSessionEvent(Session(51, "alice", NowValue), true);
    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "kept");
    EXPECT_NE(lines[1].find("\tCONN\t51\talice\t"), std::string::npos);
}

// Which switches create which file: "Logging" gates both logs.
struct SwitchCase {
    const char *name;
    bool logging, serverLogging, sessionLogging;
    bool statsFile, sessionsFile;
};

class LogSwitches : public Logs, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(LogSwitches, CreateOnlyTheFilesSwitchedOn) {
    const SwitchCase &p = GetParam();
    Owner.Logs.Logging = p.logging;
    Owner.Logs.ServerLogging = p.serverLogging;
    Owner.Logs.SessionLogging = p.sessionLogging;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters, 1000, {{51, "alice", NowValue}});
    Poll(Counters, 1000, {});
    EXPECT_EQ(Exists(StatsPath()), p.statsFile);
    EXPECT_EQ(Exists(SessionsPath()), p.sessionsFile);
    EXPECT_EQ(FilesInFolder(), int(p.statsFile) + int(p.sessionsFile));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogSwitches,
    ::testing::Values(SwitchCase{"LoggingOffSessionsOn", false, false, true, false, false},
                      SwitchCase{"LoggingOffBothOn", false, true, true, false, false},
                      SwitchCase{"OnlyStatistics", true, true, false, true, false},
                      SwitchCase{"OnlySessions", true, false, true, false, true},
                      SwitchCase{"Both", true, true, true, true, true},
                      SwitchCase{"NeitherLog", true, false, false, false, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Logs, FolderThatDoesNotExistWritesNothingAndThePollGoesOn) {
    Owner.Logs.LoggingDirectory = Folder + "/missing";
    Owner.Logs.ServerLogging = true;
    Owner.Logs.SessionLogging = true;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters, 1000, {{51, "alice", NowValue}});
    Counters.Response = 33;
    Poll(Counters, 1000, {});
    EXPECT_TRUE(Current().Filled);
    EXPECT_EQ(Current().ResponseTime, 33);
    EXPECT_EQ(FilesInFolder(), 0);
    EXPECT_TRUE(Shown.Boxes.empty());
}

TEST_F(Logs, SessionRowsConnectThenDisconnect) {
    Owner.Logs.SessionLogging = true;
    const TDateTime login = kivra::EncodeDateTime(2026, 12, 9, 22, 41, 5);
    const stProcessInfo session = Session(51, "alice", login);
    Model->LogSessionEvent(session, true);
    NowValue += 1.0 / 24;
    Model->LogSessionEvent(session, false);

    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0] + "\r\n", kSessionsHeader);
    const std::string common = "\t51\talice\tWS-17\tReport Builder\tsales\t0A1B2C3D4E5F\tTCP/IP\t" +
                               kivra::DateTimeToStr(login);
    EXPECT_EQ(lines[1], kivra::DateTimeToStr(NowValue - 1.0 / 24) + "\tCONN" + common + "\t\t\t");
    EXPECT_EQ(lines[2], kivra::DateTimeToStr(NowValue) + "\tDISC" + common + "\t1234\t56\t-7");
}

TEST_F(Logs, SessionRowFieldsStayInTheirColumns) {
    Owner.Logs.SessionLogging = true;
    stProcessInfo session = Session(51, "alice", kivra::EncodeDate(2026, 12, 9));
    std::strcpy(session.ProgramName, "tab\there\r\nnewline");
    std::memset(session.HostName, 'h', sizeof session.HostName);  // no terminator in its room
    Model->LogSessionEvent(session, true);
    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> fields;
    std::stringstream row(lines[1] + "\t");
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields[4], std::string(sizeof session.HostName, 'h'));
    EXPECT_EQ(fields[5], "tab here  newline");
    EXPECT_EQ(fields[9], kivra::DateTimeToStr(kivra::EncodeDate(2026, 12, 9)));  // date only
}

TEST_F(Logs, SessionLogSwitchReadAtEveryRow) {
    Owner.Logs.SessionLogging = true;
    Model->LogSessionEvent(Session(51, "alice", NowValue), true);
    Owner.Logs.SessionLogging = false;
    Model->LogSessionEvent(Session(52, "bob", NowValue), true);
    Owner.Logs.SessionLogging = true;
    Owner.Logs.LoggingDirectory = Folder + "/";
    Model->LogSessionEvent(Session(53, "carol", NowValue), true);
    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("\t51\t"), std::string::npos);
    EXPECT_NE(lines[2].find("\t53\t"), std::string::npos);
}

// Through the merge: a session that comes and goes, and a SPID taken over by a new login.
TEST_F(Logs, MergeLogsASessionThatComesAndGoes) {
    Owner.Logs.SessionLogging = true;
    const TDateTime login = kivra::EncodeDateTime(2026, 12, 10, 7, 30, 0);
    Poll(Counters, 1000, {{51, "alice", login, 100, 8, 20}});
    Poll(Counters, 1000, {{51, "alice", login, 150, 9, 25}});
    Poll(Counters, 1000, {});
    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("\tCONN\t51\talice\t"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "\t\t\t");
    EXPECT_NE(lines[2].find("\tDISC\t51\talice\t"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].substr(lines[2].rfind(kivra::DateTimeToStr(login))),
              kivra::DateTimeToStr(login) + "\t150\t9\t25");
}

TEST_F(Logs, MergeLogsAReusedSpidAsDisconnectThenConnect) {
    Owner.Logs.SessionLogging = true;
    const TDateTime first = kivra::EncodeDateTime(2026, 12, 10, 7, 30, 0);
    const TDateTime second = kivra::EncodeDateTime(2026, 12, 10, 8, 45, 10);
    Poll(Counters, 1000, {{57, "alice", first, 100, 8, 20}});
    Poll(Counters, 1000, {{57, "bob", second, 5, 1, 2}});
    const std::vector<std::string> lines = Lines(ReadFile(SessionsPath()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[2].find("\tDISC\t57\talice\t"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].substr(lines[2].rfind(kivra::DateTimeToStr(first))),
              kivra::DateTimeToStr(first) + "\t100\t8\t20");
    EXPECT_NE(lines[3].find("\tCONN\t57\tbob\t"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[3].substr(lines[3].rfind(kivra::DateTimeToStr(second))),
              kivra::DateTimeToStr(second) + "\t\t\t");
}

// An empty logging folder puts both logs into the user's data folder, never at the root.
TEST_F(Logs, EmptyFolderWritesIntoTheUsersDataFolder) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(Dir.path() + "/data"));
    Owner.Logs.LoggingDirectory.clear();
    Owner.Logs.ServerLogging = true;
    Owner.Logs.SessionLogging = true;
    Owner.Logs.RefreshCount = 0;
    Poll(Counters, 1000, {{51, "alice", NowValue}});
    if (wasSet)
        qputenv("XDG_DATA_HOME", saved);
    else
        qunsetenv("XDG_DATA_HOME");

    const std::string data = Folder + "/data/Kivrawatch/";
    EXPECT_EQ(Lines(ReadFile(data + "ALPHA.log")).size(), 2u);
    EXPECT_EQ(Lines(ReadFile(data + "ALPHA_sessions.log")).size(), 2u);
    EXPECT_FALSE(Exists("/ALPHA.log"));
    EXPECT_FALSE(Exists("/ALPHA_sessions.log"));
}

}  // namespace
