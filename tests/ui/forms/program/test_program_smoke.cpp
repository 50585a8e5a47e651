// The real kivrawatch executable, started offscreen against a settings file of its own: it shows
// its main window (told on the program's log category), ends cleanly on SIGTERM as on a close of
// the window, and writes nothing to the settings at start. A settings value of the wrong type
// ends start-up with the error, also without writing. SIGTERM, SIGINT and SIGHUP end it at the
// start-up's message box as with the window up; a settings path that cannot be read (a FIFO,
// another user's file) neither blocks the start nor is touched.

#include "TRegistry.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "UnreadableSettingsPath.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const char *const kProgram = KIVRA_BINARY_DIR "/ui/kivrawatch";

class Program {
public:
    // prefix: a command that runs the program (setpriv, to run it as another user).
    explicit Program(const QString &settings, const QStringList &prefix = QStringList()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KIVRA_REGISTRY_FILE"), settings);
        env.insert(QStringLiteral("QT_LOGGING_RULES"),
                   QStringLiteral("kivrawatch.program.info=true"));
        Process.setProcessEnvironment(env);
        Process.setProcessChannelMode(QProcess::SeparateChannels);
        if (prefix.isEmpty()) {
            Process.start(QString::fromLatin1(kProgram), QStringList());
            return;
        }
        // Another user may not reach the build folder (a checkout in a private folder): a copy of
        // the program in a folder everyone may enter runs in its place.
        const QString copy = OpenCopy.filePath(QStringLiteral("kivrawatch"));
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                              QFile::ExeOther;
        if (!OpenCopy.isValid() || !QFile::setPermissions(OpenCopy.path(), everyone) ||
            !QFile::copy(QString::fromLatin1(kProgram), copy) ||
            !QFile::setPermissions(copy, everyone)) {
            Log = "cannot make a copy of the program that another user may run";
            return;
        }
        Process.start(prefix.first(), prefix.mid(1) << copy);
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
    // Sends signal and waits until the program has ended by itself.
    bool End(int signal = SIGTERM) {
        ::kill(static_cast<pid_t>(Process.processId()), signal);
        const bool ended =
            PumpUntil([&] { return Process.state() == QProcess::NotRunning; }, 30000);
        Log += Process.readAllStandardError();
        return ended;
    }

    QProcess Process;
    QByteArray Log;

private:
    QTemporaryDir OpenCopy;  // the program's copy, for another user
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
    EXPECT_TRUE(program.Log.contains(settings.Path().toUtf8())) << program.Log.constData();
    ASSERT_TRUE(program.End());
    EXPECT_EQ(program.Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.Process.exitCode(), 1);
    EXPECT_FALSE(program.Log.contains("main window shown"));
    EXPECT_EQ(settings.Contents(), before);
}

namespace {

const char *const kSettingsBox = "message box: Kivrawatch - The settings file ";

const char *SignalName(int signal) {
    return signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "SIGHUP";
}

}  // namespace

TEST(ProgramSmoke, EverySignalEndsItAtTheStartUpBoxAndWithTheWindowUp) {
    const QByteArray good =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n\"RefreshInterval\"=dword:00000002\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n\"127.0.0.1,1\"=\"\"\n";
    const QByteArray damaged = good + "\"torn\"=dwo";
    for (const bool atTheBox : {true, false}) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::string(SignalName(signal)) +
                         (atTheBox ? " at the start-up box" : " with the window up"));
            TempSettingsFile settings;
            settings.SetContents(atTheBox ? damaged : good);
            Program program(settings.Path());
            ASSERT_TRUE(program.WaitForLog(atTheBox ? kSettingsBox : "main window shown"))
                << program.Log.constData();
            ASSERT_TRUE(program.End(signal)) << "still running after " << SignalName(signal);
            EXPECT_EQ(program.Process.exitStatus(), QProcess::NormalExit)
                << program.Log.constData();
            EXPECT_EQ(program.Process.exitCode(), 0) << program.Log.constData();
            EXPECT_TRUE(program.Log.contains("workers ended after")) << program.Log.constData();
            if (!atTheBox) {
                EXPECT_EQ(settings.Contents(), good);
                continue;
            }
            EXPECT_FALSE(program.Log.contains("main window shown")) << program.Log.constData();
            // The damaged file is kept aside; what could be read is the settings file now.
            EXPECT_EQ(settings.KeptAside(), QByteArrayList{damaged});
            settings.Reload();
            TRegistry reg(KEY_READ);
            ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Vornix\\Kivrawatch"));
            EXPECT_EQ(reg.ReadInteger("RefreshInterval"), 2);
            ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Vornix\\Servers\\List Of Servers"));
            EXPECT_TRUE(reg.ValueExists("127.0.0.1,1"));
        }
    }
}

// A FIFO would block an open for reading until a writer came; another user's file could be moved
// aside by the owner of its folder. Neither happens: the start goes on to its box, which names the
// path and why, and SIGTERM ends the program with the path as it was.
TEST(ProgramSmoke, AnUnreadableSettingsPathNeitherBlocksNorIsTouched) {
    for (const UnreadableSettingsPath::Kind kind :
         {UnreadableSettingsPath::Fifo, UnreadableSettingsPath::NoPermission}) {
        SCOPED_TRACE(UnreadableSettingsPath::KindName(kind));
        TempSettingsFile settings;
        UnreadableSettingsPath path(kind, settings.Path());
        ASSERT_TRUE(path.Made()) << path.Problem.toStdString();
        QStringList prefix;
        if (kind == UnreadableSettingsPath::NoPermission &&
            !UnreadableSettingsPath::RunAsReader(prefix)) {
            ADD_FAILURE() << "no setpriv to run the program as another user";
            continue;
        }
        Program program(settings.Path(), prefix);
        ASSERT_TRUE(program.WaitForLog(kSettingsBox)) << program.Log.constData();
        ASSERT_TRUE(program.WaitForLog(path.Reason().c_str())) << program.Log.constData();
        EXPECT_TRUE(program.Log.contains(settings.Path().toUtf8())) << program.Log.constData();
        ASSERT_TRUE(program.End(SIGTERM));
        EXPECT_EQ(program.Process.exitStatus(), QProcess::NormalExit) << program.Log.constData();
        EXPECT_EQ(program.Process.exitCode(), 0) << program.Log.constData();
        EXPECT_TRUE(path.Unchanged());
        EXPECT_TRUE(path.AloneInItsFolder());
    }
}
