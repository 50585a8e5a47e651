// The server browse dialog, real widgets offscreen, asking sqlsim's browser responder on
// loopback through the browse layer: what it lists from a driver answer, the search at every
// activation, and the name handed to the logon dialog.

#include "TFormServerList.h"

#include "DialogTestSupport.h"
#include "OdbcBrowse.h"
#include "SqlBrowserResponder.h"
#include "TFormLogon.h"
#include "TempSettingsFile.h"
#include "TestPump.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Names = std::vector<std::string>;

TEST(ServerListNames, FromDriverAnswers) {
    const std::string tail = ";UID:Login ID=?;PWD:Password=?;*APP:AppName=?;*WSID:WorkStation ID=?";
    const struct {
        const char *name;
        std::string answer;
        bool cut;
        Names names;
    } cases[] = {
        {"three names in order",
         "SERVER:Server={A,B\\INST,C}" + tail,
         false,
         {"A", "B\\INST", "C"}},
        {"empty list", "SERVER:Server={}" + tail, false, {}},
        {"one name", "SERVER:Server={A}" + tail, false, {"A"}},
        {"text ends after the name", "Server={ALPHA-BRAVO", false, {"ALPHA-BRAVO"}},
        {"text ends after a comma", "Server={ALPHA,BRAVO,", false, {"ALPHA", "BRAVO"}},
        {"too little after the key", "SERVER:Server={ALPHA", false, {}},
        {"comma before the brace", "SERVER:Server={A,}" + tail, false, {"A"}},
        {"a name's first character is always its own",
         "SERVER:Server={,A,,B}" + tail,
         false,
         {",A", ",B"}},
        {"list not at the start", "DSN:x;SERVER:Server={A,B}" + tail, false, {"A", "B"}},
        {"first list wins", "SERVER:Server={A};Server={B}" + tail, false, {"A"}},
        {"letter case of the key matters", "SERVER:server={A,B}" + tail, false, {}},
        {"no list", "UID:Login ID=?;PWD:Password=?", false, {}},
        {"15 characters are too short", "Server={A,B,CD}", false, {}},
        {"16 characters are enough", "Server={A,B,CDE}", false, {"A", "B", "CDE"}},
        {"key beyond position n - 15", "0123456789ABServer={A}", false, {}},
        {"key at position n - 15", "0123456789ABServer={A,B,CD}", false, {"A", "B", "CD"}},
        {"names with blanks and dots",
         "SERVER:Server={db 1.corp,HOST\\SQL EXPRESS}" + tail,
         false,
         {"db 1.corp", "HOST\\SQL EXPRESS"}},
        {"cut inside the last name", "SERVER:Server={ALPHA,BETA,GAM", true, {"ALPHA", "BETA"}},
        {"cut after a comma", "SERVER:Server={ALPHA,BETA,", true, {"ALPHA", "BETA"}},
        {"cut after the list", "SERVER:Server={ALPHA,BETA};UID:Lo", true, {"ALPHA", "BETA"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TFormServerList::ServerNames(c.answer.c_str(), c.answer.size(), c.cut), c.names)
            << c.name;
    EXPECT_EQ(TFormServerList::ServerNames(nullptr, 40, false), Names{});
}

class ServerList : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(Responder.Start("127.0.0.1", 0, error)) << error;
        Responder.SetInstances({{"MSSQLSERVER", 1433}, {"SALES", 50001}, {"Dev", 50002}});
        kivra::SetBrowseTargets({{"127.0.0.1", Responder.Port()}}, 3000);
        Logon.PresetServer("KEEP");
        Dialog.LogonForm = &Logon;
    }
    void TearDown() override { kivra::SetBrowseTargets({}); }

    QListWidget *List() { return Child<QListWidget>(Dialog, "ListBoxServers"); }
    Names Listed() {
        Names names;
        for (int i = 0; i < List()->count(); ++i)
            names.push_back(List()->item(i)->text().toStdString());
        return names;
    }
    std::string LogonServer() {
        return Child<QComboBox>(Logon, "cboxServer")->currentText().toStdString();
    }
    // Shown and activated as the modal loop would; waits for the search to list want.
    bool ShowAndWaitFor(const Names &want) {
        Dialog.show();
        Dialog.activateWindow();
        return PumpUntil([&] { return Listed() == want; }, 10000);
    }

    TempSettingsFile Settings;
    SqlBrowserResponder Responder{"SIMHOST"};
    TFormLogon Logon;
    TFormServerList Dialog;
};

const Names kFound = {"SIMHOST", "SIMHOST\\SALES", "SIMHOST\\Dev"};

TEST_F(ServerList, ActivationListsTheRespondersInstances) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("FormServerList"));
    EXPECT_EQ(Child<QLabel>(Dialog, "StaticText1")->text(), QStringLiteral(" Server  Name"));
    ASSERT_TRUE(ShowAndWaitFor(kFound)) << ::testing::PrintToString(Listed());
    EXPECT_EQ(List()->currentRow(), 0);
    EXPECT_TRUE(List()->item(0)->isSelected());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the hourglass is gone again
    EXPECT_EQ(LogonServer(), "KEEP");
}

// Each activation searches again and replaces the list: a server found again is listed once.
TEST_F(ServerList, EveryActivationReplacesTheList) {
    ASSERT_TRUE(ShowAndWaitFor(kFound));
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return elsewhere.isActiveWindow(); }));
    Responder.SetInstances({{"SALES", 50001}, {"HR", 50003}});
    Dialog.activateWindow();
    const Names again = {"SIMHOST\\SALES", "SIMHOST\\HR"};
    EXPECT_TRUE(PumpUntil([&] { return Listed() == again; }, 10000))
        << ::testing::PrintToString(Listed());
}

TEST_F(ServerList, OkHandsTheSelectedNameToTheLogonDialog) {
    ASSERT_TRUE(ShowAndWaitFor(kFound));
    List()->setCurrentRow(1);
    Child<QPushButton>(Dialog, "Button1")->click();
    EXPECT_EQ(LogonServer(), "SIMHOST\\SALES");
    EXPECT_FALSE(Dialog.isVisible());
}

TEST_F(ServerList, DoubleClickHandsTheNameToTheLogonDialog) {
    ASSERT_TRUE(ShowAndWaitFor(kFound));
    QListWidget *list = List();
    const QRect row = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(LogonServer(), "SIMHOST\\Dev");
    EXPECT_FALSE(Dialog.isVisible());
}

TEST_F(ServerList, CancelHandsNothingOver) {
    ASSERT_TRUE(ShowAndWaitFor(kFound));
    Child<QPushButton>(Dialog, "Button2")->click();
    EXPECT_EQ(LogonServer(), "KEEP");
    EXPECT_FALSE(Dialog.isVisible());
}

// Nothing found (no instance, or no answer at all): the list stays empty and Ok only closes.
TEST_F(ServerList, OkWithNothingFoundOnlyCloses) {
    Responder.SetInstances({});  // it does not answer: the search waits its whole wait time
    kivra::SetBrowseTargets({{"127.0.0.1", Responder.Port()}}, 300);
    Dialog.BrowseServers();
    EXPECT_EQ(Listed(), Names{});
    Responder.Stop();
    Dialog.BrowseServers();
    EXPECT_EQ(Listed(), Names{});
    Dialog.show();
    Child<QPushButton>(Dialog, "Button1")->click();
    EXPECT_EQ(LogonServer(), "KEEP");
    EXPECT_FALSE(Dialog.isVisible());
}

// The search replaces the list also when it finds nothing this time.
TEST_F(ServerList, SearchFindingNothingEmptiesTheList) {
    Dialog.BrowseServers();
    ASSERT_EQ(Listed(), kFound);
    Responder.Stop();
    kivra::SetBrowseTargets({{"127.0.0.1", Responder.Port()}}, 200);
    Dialog.BrowseServers();
    EXPECT_EQ(Listed(), Names{});
}

// More names than the 16000 bytes hold: the answer is read with all of that room, and the name
// cut off at its end is not listed.
TEST_F(ServerList, LongAnswerFillsTheWholeRoomAndListsNoCutName) {
    std::vector<SqlBrowserResponder::Instance> many;
    Names all;
    SqlBrowserResponder big("SIMULATED-HOST-WITH-A-LONG-NAME");
    for (int i = 0; i < 450; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "I%04d", i);
        many.push_back({name, static_cast<unsigned short>(40000 + i)});
        all.push_back(std::string("SIMULATED-HOST-WITH-A-LONG-NAME\\") + name);
    }
    big.SetInstances(many);
    std::string error;
    ASSERT_TRUE(big.Start("127.0.0.1", 0, error)) << error;
    kivra::SetBrowseTargets({{"127.0.0.1", big.Port()}}, 3000);
    ASSERT_GT(kivra::BrowseAnswerText(all).size(), 16000u);

    Dialog.BrowseServers();
    const Names listed = Listed();
    ASSERT_GT(listed.size(), 100u);
    ASSERT_LT(listed.size(), all.size());
    EXPECT_EQ(listed, Names(all.begin(), all.begin() + static_cast<long>(listed.size())));
    // "SERVER:Server={" and the names with their commas fit the 15999 characters read; the next
    // whole name would not have.
    std::size_t used = std::strlen("SERVER:Server={");
    for (const std::string &n : listed) used += n.size() + 1;
    EXPECT_LE(used - 1, 15999u);
    EXPECT_GT(used + all[listed.size()].size(), 15999u);
}

TEST_F(ServerList, BannerIsOurPicture) {
    const QImage banner(QStringLiteral(":/images/ServerListBanner.bmp"));
    EXPECT_EQ(banner.size(), QSize(325, 65));
    auto *image = Child<QLabel>(Dialog, "Image1");
    Dialog.show();
    EXPECT_EQ(image->pixmap().size(), QSize(325, 65));
    EXPECT_EQ(image->geometry().topLeft(), QPoint(0, 0));
}

}  // namespace
