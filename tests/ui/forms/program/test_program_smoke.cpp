// The real kivrawatch executable, started offscreen against a settings file of its own: it shows
// its main window (told on the program's log category), ends cleanly on SIGTERM as on a close of
// the window, and writes nothing to the settings at start. A settings value of the wrong type
// ends start-up with the error, also without writing.

#include "TempSettingsFile.h"
#include "TestPump.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

const char *const kProgram = KIVRA_BINARY_DIR "/ui/kivrawatch";

class Program {
public:
    explicit Program(const QString &settings) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KIVRA_REGISTRY_FILE"), settings);
        env.insert(QStringLiteral("QT_LOGGING_RULES"),
                   QStringLiteral("kivrawatch.program.info=true"));
        Process.setProcessEnvironment(env);
        Process.setProcessChannelMode(QProcess::SeparateChannels);
        Process.start(QString::fromLatin1(kProgram), QStringList());
    }
    ~Program() {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(10000);
        }
    }
    bool WaitForLog(const char *text) {
        return PumpUntil(
                   [&] {
                       Log += Process.readAllStandardError();
                       return Log.contains(text) || Process.state() == QProcess::NotRunning;
                   },
                   30000) &&
               Log.contains(text);
    }
    bool End() {
        Process.terminate();  // SIGTERM
        const bool ended =
            PumpUntil([&] { return Process.state() == QProcess::NotRunning; }, 30000);
        Log += Process.readAllStandardError();
        return ended;
    }

    QProcess Process;
    QByteArray Log;
};

}  // namespace

TEST(ProgramSmoke, ShowsItsWindowAndEndsCleanlyOnSigterm) {
    ASSERT_TRUE(QFile::exists(QString::fromLatin1(kProgram)));
    TempSettingsFile settings;
    settings.SetContents(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n\"RefreshInterval\"=dword:00000002\n"
        "\"InitialPanel\"=dword:00000004\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n\"127.0.0.1,1\"=\"\"\n");
    const QByteArray before = settings.Contents();
    Program program(settings.Path());
    ASSERT_TRUE(program.WaitForLog("main window shown")) << program.Log.constData();
    ASSERT_TRUE(program.End());
    EXPECT_EQ(program.Process.exitStatus(), QProcess::NormalExit) << program.Log.constData();
    EXPECT_EQ(program.Process.exitCode(), 0) << program.Log.constData();
    EXPECT_TRUE(program.Log.contains("workers ended after")) << program.Log.constData();
    EXPECT_EQ(settings.Contents(), before);
}

TEST(ProgramSmoke, AWrongTypeInTheSettingsEndsStartUpWithTheError) {
    TempSettingsFile settings;
    settings.SetContents(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n\"RefreshInterval\"=\"fast\"\n");
    const QByteArray before = settings.Contents();
    Program program(settings.Path());
    // The error is shown in a message box; the smoke test closes it as a user would.
    ASSERT_TRUE(program.WaitForLog("start-up failed:")) << program.Log.constData();
    EXPECT_TRUE(program.Log.contains("RefreshInterval")) << program.Log.constData();
    ASSERT_TRUE(program.End());
    EXPECT_EQ(program.Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.Process.exitCode(), 1);
    EXPECT_FALSE(program.Log.contains("main window shown"));
    EXPECT_EQ(settings.Contents(), before);
}
